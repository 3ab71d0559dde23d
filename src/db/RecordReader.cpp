#include "RecordReader.h"

#include "Error.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace db {
namespace {

// Large enough that walking a table costs a read per few hundred rows, small enough that a
// window that goes unused costs nothing worth noticing.
constexpr size_t kReadAhead = 256 * 1024;
// A gap this small between two reads is a walk that skips a block header or a deleted record.
constexpr int64_t kNearby = 64 * 1024;

} // namespace

RecordReader::RecordReader(QString path) : FilePath(std::move(path)) {
  Reopen();
}

RecordReader::~RecordReader() {
  if (Fd >= 0) ::close(Fd);
}

void RecordReader::Reopen() {
  const int fd = ::open(FilePath.toLocal8Bit().constData(), O_RDONLY | O_CLOEXEC);
  if (fd < 0)
    throw Error::ForTable(FilePath,
                          QString("не вдається відкрити таблицю: %1").arg(std::strerror(errno)));
  const std::lock_guard guard(WindowLock);
  if (Fd >= 0) ::close(Fd);
  Fd = fd;
  Window.clear();
  LastEnd = -1;
}

std::pair<uint64_t, uint64_t> RecordReader::Identity() const {
  const std::lock_guard guard(WindowLock);
  struct stat info = {};
  if (::fstat(Fd, &info) != 0) return {0, 0};
  return {uint64_t(info.st_dev), uint64_t(info.st_ino)};
}

void RecordReader::Forget() {
  const std::lock_guard guard(WindowLock);
  Window.clear();
  LastEnd = -1;
}

void RecordReader::Refresh(int64_t offset, size_t size) {
  const std::lock_guard guard(WindowLock);
  const int64_t from = std::max(offset, WindowStart);
  const int64_t to = std::min(offset + int64_t(size), WindowStart + int64_t(Window.size()));
  if (Window.empty() || from >= to) return;
  try {
    ReadDirect(from, size_t(to - from), Window.data() + (from - WindowStart));
  } catch (const Error&) {
    Window.clear(); // read afresh next time, where the failure is reported
  }
}

void RecordReader::ReadDirect(int64_t offset, size_t size, unsigned char* out) const {
  size_t done = 0;
  while (done < size) {
    const ssize_t n = ::pread(Fd, out + done, size - done, off_t(offset) + off_t(done));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0)
      throw Error::ForTable(FilePath, QString("не вдається прочитати %1 байт з позиції %2: %3")
                                          .arg(size)
                                          .arg(offset)
                                          .arg(std::strerror(errno)));
    if (n == 0)
      throw Error::ForTable(FilePath, QString("файл обрізано: запис на позиції %1 (%2 байт) "
                                              "виходить за його кінець")
                                          .arg(offset)
                                          .arg(size));
    done += size_t(n);
  }
}

void RecordReader::Fill(int64_t offset, size_t size) const {
  // Reads ahead as far as the file goes, but never less than the record asked for.
  Window.resize(std::max(size, kReadAhead));
  size_t done = 0;
  while (done < Window.size()) {
    const ssize_t n =
        ::pread(Fd, Window.data() + done, Window.size() - done, off_t(offset) + off_t(done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += size_t(n);
  }
  Window.resize(done);
  WindowStart = offset;
  if (done < size) {
    Window.clear();
    ReadDirect(offset, size, std::vector<unsigned char>(size).data()); // raises, naming the cause
  }
}

void RecordReader::Read(int64_t offset, size_t size, unsigned char* out) const {
  const std::lock_guard guard(WindowLock);
  // A read at or a little past where the last one ended is a walk through the file, served
  // from the window read ahead. Any other read (the same record again, a look-up elsewhere)
  // reads the file as it is now and leaves the window for the walk to go on with.
  const bool walking = LastEnd >= 0 && offset >= LastEnd && offset - LastEnd < kNearby;
  if (walking) {
    const bool inWindow = !Window.empty() && offset >= WindowStart &&
                          offset + int64_t(size) <= WindowStart + int64_t(Window.size());
    if (!inWindow) Fill(offset, size);
    std::memcpy(out, Window.data() + (offset - WindowStart), size);
  } else {
    ReadDirect(offset, size, out);
  }
  LastEnd = offset + int64_t(size);
}

} // namespace db
