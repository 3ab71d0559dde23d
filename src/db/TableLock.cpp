#include "TableLock.h"

#include "Error.h"

#include "base/PathResolver.h"

#include <QDir>
#include <QFile>
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

namespace {

// The index and blob files written with a Paradox table.
QStringList Companions(const QString& path) {
  const QFileInfo info(path);
  QStringList found;
  for (const char* extension : {".PX", ".MB"})
    if (auto file =
            base::FindPathIgnoreCase(info.absolutePath(), info.completeBaseName() + extension))
      found << *file;
  return found;
}

[[noreturn]] void RefuseReadOnly(const QString& path, const QString& file) {
  throw Error(QString::fromUtf8("Таблицю %1 не змінено: файл %2 лише для читання (немає права "
                                "на запис); змініть його права або попросіть власника")
                  .arg(QDir::toNativeSeparators(path), QDir::toNativeSeparators(file)));
}

bool ReadOnly(const QString& file) {
  return !QFileInfo(file).isWritable() ||
         (QFile::permissions(file) & (QFile::WriteOwner | QFile::WriteGroup | QFile::WriteOther)) ==
             0;
}

} // namespace

TableLock::TableLock(const QString& path)
    : Lock(std::make_unique<base::FileLock>(path, WaitMilliseconds(), false, TellWaiting)) {
  if (Lock->Result() == base::FileLock::Outcome::Locked ||
      Lock->Result() == base::FileLock::Outcome::Unsupported)
    for (const QString& companion : Companions(path))
      if (ReadOnly(companion)) RefuseReadOnly(path, companion);
  switch (Lock->Result()) {
  case base::FileLock::Outcome::Locked:
    return;
  case base::FileLock::Outcome::TimedOut:
    throw Error(QString::fromUtf8("Таблиця %1 зайнята іншим користувачем")
                    .arg(QDir::toNativeSeparators(path)));
  case base::FileLock::Outcome::ReadOnly:
    RefuseReadOnly(path, path);
  case base::FileLock::Outcome::Unsupported:
    SayUnlocked(path);
    return;
  case base::FileLock::Outcome::NotOpened:
    return; // the write itself fails and says why
  }
}

TableLock::~TableLock() = default;

} // namespace db
