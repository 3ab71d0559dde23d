#include "TableLock.h"

#include "Error.h"

#include <QDir>
#include <QFileInfo>
#include <QTextStream>
#include <atomic>
#include <mutex>
#include <set>

namespace db {
namespace {

std::atomic<int> waitMilliseconds{10000};
std::mutex hookLock;
std::function<void(bool)>& WaitHook() {
  static std::function<void(bool)> hook;
  return hook;
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

void TellWaiting(bool waiting) {
  std::lock_guard guard(hookLock);
  if (WaitHook()) WaitHook()(waiting);
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

TableLock::TableLock(const QString& path)
    : Lock(std::make_unique<base::FileLock>(path, WaitMilliseconds(), false, TellWaiting)) {
  switch (Lock->Result()) {
  case base::FileLock::Outcome::Locked:
    return;
  case base::FileLock::Outcome::TimedOut:
    throw Error(QString::fromUtf8("Таблиця %1 зайнята іншим користувачем")
                    .arg(QDir::toNativeSeparators(path)));
  case base::FileLock::Outcome::Unsupported:
    if (QFileInfo::exists(path)) SayUnlocked(path);
    return;
  }
}

TableLock::~TableLock() = default;

} // namespace db
