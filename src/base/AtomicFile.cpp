#include "AtomicFile.h"

#include "FileError.h"

#include <QFileInfo>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace base {
namespace {

QString SystemError() {
  return QString::fromLocal8Bit(std::strerror(errno));
}

} // namespace

AtomicFileWriter::AtomicFileWriter(const QString& path) : FinalPath(path) {
  const QFileInfo info(path);
  QByteArray pattern = (info.absolutePath() + "/." + info.fileName() + ".XXXXXX").toLocal8Bit();
  Fd = mkstemp(pattern.data());
  if (Fd < 0) throw FileError(path, "cannot create a temporary file beside it: " + SystemError());
  TempPath = QString::fromLocal8Bit(pattern);
  // Keep the permissions of the file being replaced.
  struct stat st {};
  if (stat(path.toLocal8Bit().constData(), &st) == 0)
    fchmod(Fd, st.st_mode & 07777);
  else
    fchmod(Fd, 0644);
}

AtomicFileWriter::~AtomicFileWriter() {
  if (Done) return;
  if (Fd >= 0) ::close(Fd);
  ::unlink(TempPath.toLocal8Bit().constData());
}

void AtomicFileWriter::Write(const char* data, qint64 size) {
  while (size > 0) {
    const ssize_t n = ::write(Fd, data, size_t(size));
    if (n < 0) {
      if (errno == EINTR) continue;
      throw FileError(FinalPath, "cannot write: " + SystemError());
    }
    data += n;
    size -= n;
  }
}

void AtomicFileWriter::Sync() {
  if (Fd < 0) return;
  if (::fsync(Fd) != 0) throw FileError(FinalPath, "cannot flush to disk: " + SystemError());
  if (::close(Fd) != 0) {
    Fd = -1;
    throw FileError(FinalPath, "cannot close: " + SystemError());
  }
  Fd = -1;
}

void AtomicFileWriter::Commit() {
  Sync();
  if (std::rename(TempPath.toLocal8Bit().constData(), FinalPath.toLocal8Bit().constData()) != 0)
    throw FileError(FinalPath, "cannot replace the file: " + SystemError());
  Done = true;
}

void WriteFileAtomically(const QString& path, const QByteArray& content) {
  AtomicFileWriter writer(path);
  writer.Write(content);
  writer.Commit();
}

} // namespace base
