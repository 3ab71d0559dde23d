#include "FileLock.h"

#include <QFile>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace base {
namespace {

// The byte locked: far past the end of any file, so that it never stands in a reader's way.
constexpr off_t kLockByte = 0x7FFFFFF0;

enum class Attempt { Locked, Busy, Unsupported };

Attempt TryLock(int fd) {
  struct flock lock = {};
  lock.l_type = F_WRLCK;
  lock.l_whence = SEEK_SET;
  lock.l_start = kLockByte;
  lock.l_len = 1;
  if (::fcntl(fd, F_OFD_SETLK, &lock) == 0) return Attempt::Locked;
  if (errno == EAGAIN || errno == EACCES || errno == EINTR) return Attempt::Busy;
  return errno == ENOLCK || errno == EINVAL || errno == EOPNOTSUPP ? Attempt::Unsupported
                                                                   : Attempt::Busy;
}

// Whether `fd` is still the file at `path`: a writer that renamed a new file over it has
// replaced it meanwhile.
bool StillThere(int fd, const QByteArray& path) {
  struct stat open = {}, named = {};
  return ::fstat(fd, &open) == 0 && ::stat(path.constData(), &named) == 0 &&
         open.st_dev == named.st_dev && open.st_ino == named.st_ino;
}

} // namespace

FileLock::FileLock(const QString& path, int waitMs, bool create,
                   const std::function<void(bool)>& onWait) {
  const QByteArray native = QFile::encodeName(path);
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(waitMs);
  bool waiting = false;
  auto done = [&](Outcome outcome) {
    Got = outcome;
    if (waiting && onWait) onWait(false);
  };
  for (;;) {
    // A file nobody may write (the read-only attribute of the folder's other users) is not
    // written even by a user whom the system would let.
    struct stat info = {};
    if (::stat(native.constData(), &info) == 0 && S_ISREG(info.st_mode) &&
        (info.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0) {
      done(Outcome::ReadOnly);
      return;
    }
    const int fd = ::open(native.constData(), O_RDWR | O_CLOEXEC | (create ? O_CREAT : 0), 0644);
    if (fd < 0) {
      done(errno == EACCES || errno == EPERM || errno == EROFS ? Outcome::ReadOnly
                                                               : Outcome::NotOpened);
      return;
    }
    const Attempt attempt = TryLock(fd);
    if (attempt == Attempt::Unsupported) {
      ::close(fd);
      done(Outcome::Unsupported);
      return;
    }
    if (attempt == Attempt::Locked && StillThere(fd, native)) {
      Fd = fd;
      done(Outcome::Locked);
      return;
    }
    ::close(fd); // busy, or a file replaced meanwhile: again
    if (attempt == Attempt::Locked) continue;
    if (std::chrono::steady_clock::now() >= deadline) {
      done(Outcome::TimedOut);
      return;
    }
    if (!waiting && onWait) onWait(true);
    waiting = true;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

FileLock::~FileLock() {
  if (Fd >= 0) ::close(Fd); // closing the description releases its lock
}

} // namespace base
