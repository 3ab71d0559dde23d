#pragma once
// Whole-file replacement that never leaves half a file under the final name: the new content
// is written to a file without a name in the same directory (a temporary file where the file
// system has no such files), flushed to disk, and renamed over the original only when
// complete. A writer killed half-way leaves neither a torn file nor a stray temporary one. A
// file of a store (RemoteFiles.h) is kept in memory and given to the store whole at the end.

#include <QByteArray>
#include <QString>

namespace base {

struct RemoteFileKind;

// Raises FileError naming `path` when the file cannot be written; the original stays as it was.
void WriteFileAtomically(const QString& path, const QByteArray& content);

// The same for a writer that produces the content in pieces (large tables).
class AtomicFileWriter {
public:
  explicit AtomicFileWriter(const QString& path);
  ~AtomicFileWriter(); // abandons the temporary file unless Commit() ran
  AtomicFileWriter(const AtomicFileWriter&) = delete;
  AtomicFileWriter& operator=(const AtomicFileWriter&) = delete;

  void Write(const char* data, qint64 size);
  void Write(const QByteArray& data) { Write(data.constData(), data.size()); }
  // Flushes the content to disk; the final name is untouched. Two files replaced together
  // sync both first, so that their renames follow each other at once.
  void Sync();
  // Syncs (unless Sync ran) and renames over the final name.
  void Commit();

private:
  void LinkAnonymousFile();
  QString FinalPath;
  QString TempPath; // empty while the new content has no name
  int Fd = -1;
  bool Anonymous = false; // written to a file without a name (O_TMPFILE)
  bool Synced = false;
  bool Done = false;
  const RemoteFileKind* Remote = nullptr; // a file of a store, written whole at Commit
  QByteArray Content;                     // its content until then
};

} // namespace base
