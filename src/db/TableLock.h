#pragma once
// The lock a writer of a table holds from reading the table's current content to the moment
// its change is on disk (the rename of a rewritten file included), so that two writers, in one
// program or in several on a shared folder, never lose each other's changes: the file lock of
// base::FileLock on the table's main file (.DB or .DBF), which also stands for its index and
// blob files. Readers take no lock: they read the last complete file.
//
// On a file system without locks the write goes on unlocked, as it would without this class;
// that is said once per folder on standard error.

#include "base/FileLock.h"

#include <QString>
#include <functional>
#include <memory>

namespace db {

class TableLock {
public:
  // Waits for the lock at most WaitMilliseconds(), then raises db::Error
  // "Таблиця <path> зайнята іншим користувачем". `path` is the table's main file.
  explicit TableLock(const QString& path);
  ~TableLock();
  TableLock(const TableLock&) = delete;
  TableLock& operator=(const TableLock&) = delete;

  // How long a writer waits for another's lock (10 seconds unless set).
  static int WaitMilliseconds();
  static void SetWaitMilliseconds(int milliseconds);
  // Called with true when a writer starts to wait and with false when it stops (the windowed
  // program shows the busy cursor meanwhile).
  static void SetWaitHook(std::function<void(bool)> hook);

private:
  std::unique_ptr<base::FileLock> Lock;
};

} // namespace db
