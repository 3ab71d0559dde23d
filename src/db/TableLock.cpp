#include "TableLock.h"

#include "Error.h"

#include <QDir>
#include <QFileInfo>
#include <QTextStream>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <fcntl.h>
#include <mutex>
#include <set>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace db {
namespace {

std::atomic<int> waitMilliseconds{10000};
std::mutex hookLock;
std::function<void(bool)>& WaitHook() {
  static std::function<void(bool)> hook;
  return hook;
}

// The byte locked: far past the end of any table, so that it never stands in a reader's way.
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
  return Attempt::Unsupported;
}

// Whether `fd` is still the file at `path` (a writer that renamed a new file over it has
// replaced it while this one waited).
bool StillThere(int fd, const QByteArray& path) {
  struct stat open = {}, named = {};
  return ::fstat(fd, &open) == 0 && ::stat(path.constData(), &named) == 0 &&
         open.st_dev == named.st_dev && open.st_ino == named.st_ino;
}

void SayUnlocked(const QString& path) {
  static std::mutex lock;
  static std::set<QString> said;
  const QString folder = QFileInfo(path).absolutePath();
  std::lock_guard guard(lock);
  if (!said.insert(folder).second) return;
  QTextStream(stderr) << "vandrel: " << folder
                      << ": the file system does not lock files; two writers at once may lose "
                         "each other's changes\n";
}

} // namespace

int TableLock::WaitMilliseconds() {
  return waitMilliseconds;
}

void TableLock::SetWaitMilliseconds(int milliseconds) {
  waitMilliseconds = milliseconds;
}

void TableLock::SetWaitHook(std::function<void(bool)> hook) {
  std::lock_guard guard(hookLock);
  WaitHook() = std::move(hook);
}

TableLock::TableLock(const QString& path) {
  const QByteArray native = QFile::encodeName(path);
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(WaitMilliseconds());
  bool waiting = false;
  auto stopWaiting = [&] {
    if (!waiting) return;
    std::lock_guard guard(hookLock);
    if (WaitHook()) WaitHook()(false);
  };
  for (;;) {
    const int fd = ::open(native.constData(), O_RDWR | O_CLOEXEC);
    if (fd < 0) {
      stopWaiting();
      return; // a table that cannot be opened for writing fails in the write itself
    }
    const Attempt attempt = TryLock(fd);
    if (attempt == Attempt::Unsupported) {
      ::close(fd);
      stopWaiting();
      SayUnlocked(path);
      return;
    }
    if (attempt == Attempt::Locked && StillThere(fd, native)) {
      Fd = fd;
      stopWaiting();
      return;
    }
    ::close(fd); // busy, or locked a file that has been replaced meanwhile: again
    if (attempt == Attempt::Locked) continue;
    if (std::chrono::steady_clock::now() >= deadline) {
      stopWaiting();
      throw Error(QString::fromUtf8("Таблиця %1 зайнята іншим користувачем")
                      .arg(QDir::toNativeSeparators(path)));
    }
    if (!waiting) {
      waiting = true;
      std::lock_guard guard(hookLock);
      if (WaitHook()) WaitHook()(true);
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

TableLock::~TableLock() {
  if (Fd >= 0) ::close(Fd); // closing the description releases its lock
}

} // namespace db
