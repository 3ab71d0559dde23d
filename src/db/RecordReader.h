#pragma once
// Reads the fixed-size records of a table file with pread on a descriptor kept open, so that a
// row's bytes are read when the row is asked for and never before. Reads that follow one another
// through the file are served from a window read ahead in one call; a row asked for out of
// order reads only its own bytes. Safe to use from several threads at once. A file that another
// program has cut shorter gives a db::Error naming it, never a crash.

#include <QString>
#include <cstdint>
#include <mutex>
#include <utility>
#include <vector>

namespace db {

class RecordReader {
public:
  explicit RecordReader(QString path);
  ~RecordReader();
  RecordReader(const RecordReader&) = delete;
  RecordReader& operator=(const RecordReader&) = delete;

  const QString& Path() const { return FilePath; }
  // The device and inode of the file read (a file renamed over the path since is another).
  std::pair<uint64_t, uint64_t> Identity() const;
  // Opens the file again: after this program replaced it whole, the old descriptor still reads
  // the replaced file.
  void Reopen();
  // Gives up the bytes read ahead.
  void Forget();
  // Reads again the bytes read ahead that this program has just written over.
  void Refresh(int64_t offset, size_t size);

  // Copies `size` bytes at `offset` into `out`; raises db::Error when the file ends before.
  void Read(int64_t offset, size_t size, unsigned char* out) const;
  // The same, without the read-ahead window: for one look at a header.
  void ReadDirect(int64_t offset, size_t size, unsigned char* out) const;

private:
  void Fill(int64_t offset, size_t size) const;

  QString FilePath;
  int Fd = -1;
  mutable std::mutex WindowLock;
  mutable std::vector<unsigned char> Window;
  mutable int64_t WindowStart = 0;
  mutable int64_t LastEnd = -1; // where the previous read ended: the next one there reads ahead
};

} // namespace db
