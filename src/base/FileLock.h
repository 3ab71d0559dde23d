#pragma once
// An exclusive advisory lock of a file, held by a writer from reading the file's current content
// to the moment its change is on disk, so that writers in several programs (on a shared folder
// too) take turns. It is a lock of the open file description (Linux OFD lock), which network
// file systems that honour POSIX locks pass on; a file renamed over while waiting (a whole-file
// rewrite) is locked again under its new inode. Readers take no lock.

#include <QString>
#include <functional>

namespace base {

class FileLock {
public:
  enum class Outcome {
    Locked,      // held until the object goes
    Unsupported, // the file system has no locks: not held
    ReadOnly,    // the file is read-only (no write permission bit) or this user may not write it
    NotOpened,   // the file cannot be opened (missing): not held; the write itself will say why
    TimedOut     // another writer held it for all of `waitMs`
  };

  // Opens `path` (creating it when `create`) and waits at most `waitMs` for the lock; `onWait`
  // is told when the wait starts (true) and ends (false).
  FileLock(const QString& path, int waitMs, bool create = false,
           const std::function<void(bool)>& onWait = {});
  ~FileLock();
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

  Outcome Result() const { return Got; }

private:
  int Fd = -1;
  Outcome Got = Outcome::Unsupported;
};

} // namespace base
