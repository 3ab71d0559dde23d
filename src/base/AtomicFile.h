#pragma once
// Whole-file replacement that never leaves half a file under the final name: the new content
// is written to a temporary file in the same directory, flushed to disk, and renamed over the
// original only when complete.

#include <QByteArray>
#include <QString>

namespace base {

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
  // Flushes the content to disk and closes the temporary file; the final name is untouched.
  // Two files replaced together sync both first, so that their renames follow each other at
  // once.
  void Sync();
  // Syncs (unless Sync ran) and renames over the final name.
  void Commit();

private:
  QString FinalPath;
  QString TempPath;
  int Fd = -1;
  bool Done = false;
};

} // namespace base
