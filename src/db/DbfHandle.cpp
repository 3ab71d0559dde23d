#include "DbfHandle.h"

#include "Error.h"

#include <QByteArray>
#include <QFileInfo>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace db {

// One file shapelib opened: read and written at explicit offsets (no stdio buffer keeps a
// write whose failure would only show later), with the bytes each write replaced kept, so that
// a failure can put them back.
struct CheckedFile {
  int Fd = -1;
  off_t Position = 0;
  off_t OriginalSize = 0;
  int Failure = 0;    // errno of the first failed write; every later write is refused
  bool Wrote = false; // something was written: synced before closing
  bool Owned = false; // a DbfHandle reads the outcome and frees it; else FClose frees it
  std::vector<std::pair<off_t, QByteArray>> Replaced; // each write's offset and the old bytes
};

namespace {

// Failures of files shapelib opens and closes on its own (the table's first byte when it
// creates one, its .cpg file), which no handle watches.
thread_local int strayFailure = 0;
thread_local QString lastShapelibError;

CheckedFile* FileOf(SAFile file) {
  return reinterpret_cast<CheckedFile*>(file);
}

SAFile OpenHook(const char* name, const char* access) {
  const bool update = std::strchr(access, '+') != nullptr;
  int flags = O_CLOEXEC;
  if (std::strchr(access, 'w'))
    flags |= O_CREAT | O_TRUNC | (update ? O_RDWR : O_WRONLY);
  else
    flags |= update ? O_RDWR : O_RDONLY;
  const int fd = ::open(name, flags, 0666);
  if (fd < 0) return nullptr;
  struct stat st {};
  auto* file = new CheckedFile;
  file->Fd = fd;
  file->OriginalSize = ::fstat(fd, &st) == 0 ? st.st_size : 0;
  return reinterpret_cast<SAFile>(file);
}

SAOffset ReadHook(void* p, SAOffset size, SAOffset count, SAFile handle) {
  CheckedFile* file = FileOf(handle);
  const size_t want = size_t(size * count);
  size_t done = 0;
  while (done < want) {
    const ssize_t n =
        ::pread(file->Fd, static_cast<char*>(p) + done, want - done, file->Position + off_t(done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += size_t(n);
  }
  file->Position += off_t(done);
  return size ? SAOffset(done / size) : 0;
}

// Keeps the bytes a write at `offset` is about to replace (those the file had when opened).
void KeepReplaced(CheckedFile* file, off_t offset, size_t length) {
  const off_t end = std::min<off_t>(offset + off_t(length), file->OriginalSize);
  QByteArray old;
  if (end > offset) {
    old.resize(qsizetype(end - offset));
    const ssize_t n = ::pread(file->Fd, old.data(), size_t(old.size()), offset);
    old.resize(n > 0 ? qsizetype(n) : 0);
  }
  file->Replaced.emplace_back(offset, std::move(old));
}

SAOffset WriteHook(void* p, SAOffset size, SAOffset count, SAFile handle) {
  CheckedFile* file = FileOf(handle);
  if (file->Failure) return 0;
  const size_t want = size_t(size * count);
  KeepReplaced(file, file->Position, want);
  file->Wrote = true;
  size_t done = 0;
  while (done < want) {
    const ssize_t n = ::pwrite(file->Fd, static_cast<const char*>(p) + done, want - done,
                               file->Position + off_t(done));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      file->Failure = n < 0 ? errno : ENOSPC;
      strayFailure = file->Failure;
      return 0;
    }
    done += size_t(n);
  }
  file->Position += off_t(done);
  return count;
}

SAOffset SeekHook(SAFile handle, SAOffset offset, int whence) {
  CheckedFile* file = FileOf(handle);
  off_t base = 0;
  if (whence == SEEK_CUR) base = file->Position;
  if (whence == SEEK_END) {
    struct stat st {};
    if (::fstat(file->Fd, &st) != 0) return SAOffset(-1);
    base = st.st_size;
  }
  file->Position = base + off_t(offset);
  return 0;
}

SAOffset TellHook(SAFile handle) {
  return SAOffset(FileOf(handle)->Position);
}

int FlushHook(SAFile handle) {
  return FileOf(handle)->Failure ? EOF : 0;
}

// Puts back every byte the file's writes replaced, last write first, and cuts it to its length
// at opening. Overwriting bytes the file already had needs no new space on the disk.
void Undo(CheckedFile* file) {
  for (auto it = file->Replaced.rbegin(); it != file->Replaced.rend(); ++it)
    if (!it->second.isEmpty())
      (void)!::pwrite(file->Fd, it->second.constData(), size_t(it->second.size()), it->first);
  (void)!::ftruncate(file->Fd, file->OriginalSize);
  ::fdatasync(file->Fd);
}

int CloseHook(SAFile handle) {
  CheckedFile* file = FileOf(handle);
  // A file system that reports a full disk only when the data reaches it (a network share)
  // says so here, while the old bytes can still be put back.
  if (file->Wrote && !file->Failure && ::fdatasync(file->Fd) != 0 && errno != EINVAL)
    file->Failure = errno;
  if (file->Failure) Undo(file);
  if (::close(file->Fd) != 0 && !file->Failure && errno != EINTR) file->Failure = errno;
  file->Fd = -1;
  if (file->Failure) strayFailure = file->Failure;
  if (!file->Owned) delete file;
  return 0;
}

void ErrorHook(const char* message) {
  lastShapelibError = QString::fromLocal8Bit(message);
}

SAHooks CheckedHooks() {
  SAHooks hooks;
  SASetupDefaultHooks(&hooks);
  hooks.FOpen = OpenHook;
  hooks.FRead = ReadHook;
  hooks.FWrite = WriteHook;
  hooks.FSeek = SeekHook;
  hooks.FTell = TellHook;
  hooks.FFlush = FlushHook;
  hooks.FClose = CloseHook;
  hooks.Error = ErrorHook;
  // A call starts with no failure of an earlier one carried over.
  lastShapelibError.clear();
  strayFailure = 0;
  return hooks;
}

} // namespace

QString WriteFailureText(int error) {
  switch (error) {
  case ENOSPC:
    return "на диску немає місця";
  case EDQUOT:
    return "вичерпано квоту диска";
  case EFBIG:
    return "файл перевищив найбільший дозволений розмір";
  case EROFS:
    return "диск лише для читання";
  default:
    return QString("помилка запису: %1").arg(QString::fromLocal8Bit(std::strerror(error)));
  }
}

void DbfHandle::Adopt(DBFInfo* info) {
  Info = info;
  File = FileOf(info->fp);
  File->Owned = true;
}

DbfHandle DbfHandle::Open(const QString& path, const char* mode) {
  SAHooks hooks = CheckedHooks();
  DBFInfo* info = DBFOpenLL(path.toLocal8Bit().constData(), mode, &hooks);
  if (!info) {
    if (std::strchr(mode, '+') && !QFileInfo(path).isWritable())
      throw Error::ForTable(path, "файл лише для читання (немає права на запис)");
    QString reason = "її не прочитати як таблицю dBase III/IV";
    if (!lastShapelibError.isEmpty()) reason += " (" + lastShapelibError.trimmed() + ")";
    throw Error::ForTable(path, reason);
  }
  DbfHandle h;
  h.Adopt(info);
  return h;
}

DbfHandle DbfHandle::Create(const QString& path, const char* ldid) {
  SAHooks hooks = CheckedHooks();
  DBFInfo* info = DBFCreateLL(path.toLocal8Bit().constData(), ldid, &hooks);
  if (!info) {
    const QString why = strayFailure ? WriteFailureText(strayFailure) : lastShapelibError;
    throw Error::ForTable(path, "не вдається створити таблицю: " + why);
  }
  DbfHandle h;
  h.Adopt(info);
  if (strayFailure) {
    const int failure = strayFailure;
    h.CloseReporting();
    throw Error::ForTable(path, "не вдається створити таблицю: " + WriteFailureText(failure));
  }
  return h;
}

DbfHandle::DbfHandle(DbfHandle&& other) noexcept
    : Info(std::exchange(other.Info, nullptr)), File(std::exchange(other.File, nullptr)) {}

DbfHandle& DbfHandle::operator=(DbfHandle&& other) noexcept {
  if (this != &other) {
    CloseReporting();
    Info = std::exchange(other.Info, nullptr);
    File = std::exchange(other.File, nullptr);
  }
  return *this;
}

DbfHandle::~DbfHandle() {
  CloseReporting();
}

int DbfHandle::WriteFailure() const {
  return File && File->Failure ? File->Failure : strayFailure;
}

int DbfHandle::CloseReporting() {
  if (!Info) return 0;
  strayFailure = 0;
  // shapelib writes the record it holds and the header here, through the checked file; a
  // failure among them stops the rest and is undone when the file closes.
  DBFClose(Info);
  Info = nullptr;
  const int failure = File->Failure ? File->Failure : strayFailure;
  delete File;
  File = nullptr;
  return failure;
}

void DbfHandle::Close(const QString& path) {
  if (const int failure = CloseReporting())
    throw Error::ForTable(path, WriteFailureText(failure) + "; таблицю не змінено");
}

} // namespace db
