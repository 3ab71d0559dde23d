#pragma once
// Files this program derives from the atlas's files so that opening them again costs little:
// the record index of a geometry file, where a table's rows lie, the columns a points layer
// walks. They live in a folder of the program's own (never in the atlas): $VANDREL_CACHE_DIR,
// else $XDG_CACHE_HOME/vandrel, else ~/.cache/vandrel; VANDREL_CACHE_DIR=off keeps nothing.
//
// Each is stamped with the state of its source (device, inode, size, modification and change
// times in nanoseconds) and is used only while the source is in that state. A source changed
// within the last seconds is not stamped at all: a second change within the same tick of the
// file system's clock could keep every one of those and go unseen. A store's file (RemoteFiles.h)
// is stamped with the signature its store gives, which every change alters.

#include "MappedFile.h"

#include <QByteArray>
#include <QString>
#include <memory>
#include <span>

namespace base {

// Kept content, mapped read-only; the mapping lives as long as any copy.
struct DerivedContent {
  std::shared_ptr<MappedFile> File;
  std::span<const unsigned char> Bytes;
  explicit operator bool() const { return File != nullptr; }
};

class DerivedCache {
public:
  // The state of a source file now; empty when it cannot be read, or when it changed too
  // recently to be trusted (then nothing derived from it is kept or used).
  static QByteArray Stamp(const QString& source);

  // What was kept for `source` under `kind` with this stamp; empty when nothing fits or the
  // stamp is empty.
  static DerivedContent Load(const QString& source, const QString& kind, const QByteArray& stamp);
  // Keeps `content` for `source` under `kind` with this stamp. Silent when it cannot: the
  // content is made again the next time.
  static void Store(const QString& source, const QString& kind, const QByteArray& stamp,
                    const QByteArray& content);

  // The folder; empty when nothing is kept.
  static QString Folder();

  // How long a source must have stayed unchanged to be stamped (3 s; the tests shorten it).
  static int64_t SettledMilliseconds();
  static void SetSettledMilliseconds(int64_t milliseconds);
};

// A view of an array of plain values inside mapped content (as a cache stores them), checked
// against the content's size: false when the content is too short.
template <typename T>
bool ViewArray(std::span<const unsigned char> content, size_t& offset, size_t count,
               std::span<const T>& out) {
  offset = (offset + alignof(T) - 1) / alignof(T) * alignof(T);
  if (offset > content.size() || count > (content.size() - offset) / sizeof(T)) return false;
  out = std::span<const T>(reinterpret_cast<const T*>(content.data() + offset), count);
  offset += count * sizeof(T);
  return true;
}

// Appends an array of plain values to content being made, aligned as ViewArray reads it.
template <typename T> void AppendArray(QByteArray& content, std::span<const T> values) {
  while (content.size() % qsizetype(alignof(T)) != 0)
    content.append('\0');
  content.append(reinterpret_cast<const char*>(values.data()), qsizetype(values.size_bytes()));
}

} // namespace base
