#pragma once
// A whole file mapped read-only into memory, and a bounds-checked reader over it. Every read
// past the end raises a FileError naming the file and the offset, so a truncated or corrupt file
// ends the operation with a clear message instead of a read outside the buffer.
//
// The mapping is guarded: when another program shortens the file while it is mapped (cp writes
// over a file by truncating it first), the pages past the new end read as zeros instead of
// killing the process with SIGBUS, the file is marked cut, and the reader's next read raises
// "файл обрізано" for the operation. The next mapping sees the file as it is then.

#include "FileError.h"

#include <QFile>
#include <cstdint>
#include <memory>
#include <span>

namespace base {

class MappedFile {
public:
  enum class Kind {
    Any,        // the atlas's files: links followed
    RegularOnly // the program's kept files: a link, FIFO or device is refused without waiting
  };
  // Opens and maps `path`; raises FileError when it cannot be opened. An empty file maps to an
  // empty span.
  explicit MappedFile(const QString& path, Kind kind = Kind::Any);
  ~MappedFile();
  MappedFile(const MappedFile&) = delete;
  MappedFile& operator=(const MappedFile&) = delete;

  const QString& Path() const { return FilePath; }
  std::span<const unsigned char> Bytes() const { return Data; }
  int64_t Size() const { return int64_t(Data.size()); }
  // Whether another program cut the file shorter while it was mapped (what lay past the new
  // end has read as zeros since).
  bool Cut() const;
  // Raises the FileError "файл обрізано" when Cut().
  void CheckWhole() const;

private:
  QString FilePath;
  std::span<const unsigned char> Data;
  void* Mapping = nullptr;
  int Guard = -1;  // the slot of the mapping among the guarded ones; -1 when copied instead
  QByteArray Copy; // the content, read, when no guard slot was free
  std::shared_ptr<const void> StoreBytes; // a store's bytes shown without a copy
};

class BinaryReader {
public:
  BinaryReader(std::span<const unsigned char> data, QString path)
      : Data(data), FilePath(std::move(path)) {}
  explicit BinaryReader(const MappedFile& file) : BinaryReader(file.Bytes(), file.Path()) {
    File = &file;
  }

  int64_t Size() const { return int64_t(Data.size()); }
  int64_t Position() const { return Pos; }
  const QString& Path() const { return FilePath; }
  bool AtEnd() const { return Pos >= Size(); }
  bool CanRead(int64_t count) const { return count >= 0 && Pos <= Size() - count; }

  void Seek(int64_t offset);
  void Skip(int64_t count) { Seek(Pos + count); }

  // The `count` bytes at the position; the position moves past them.
  std::span<const unsigned char> Read(int64_t count);
  // The `count` bytes at `offset`, without moving the position.
  std::span<const unsigned char> At(int64_t offset, int64_t count) const;

  uint8_t U8() { return Read(1)[0]; }
  uint16_t U16LE();
  uint32_t U32LE();
  uint32_t U32BE();
  int32_t I32LE() { return int32_t(U32LE()); }
  int32_t I32BE() { return int32_t(U32BE()); }
  double DoubleLE();

  // Raises the FileError of this file with `reason` and the current offset.
  [[noreturn]] void Fail(const QString& reason) const;

private:
  std::span<const unsigned char> Data;
  QString FilePath;
  int64_t Pos = 0;
  const MappedFile* File = nullptr; // checked for a cut at every read
};

} // namespace base
