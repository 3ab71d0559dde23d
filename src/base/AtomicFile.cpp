#include "AtomicFile.h"

#include "FileError.h"
#include "OwnWrites.h"
#include "RemoteFiles.h"

#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
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
  if ((Remote = RemoteFileKindOf(path))) return; // kept here and written whole at Commit
  const QFileInfo info(path);
  // A file without a name in the target's folder: a writer killed half-way leaves nothing
  // behind. Where the file system cannot make one, a named temporary file beside the target.
  Fd = ::open(QFile::encodeName(info.absolutePath()).constData(), O_TMPFILE | O_WRONLY | O_CLOEXEC,
              0644);
  Anonymous = Fd >= 0;
  if (!Anonymous) {
    QByteArray pattern =
        QFile::encodeName(info.absolutePath() + "/." + info.fileName() + ".XXXXXX");
    Fd = mkstemp(pattern.data());
    if (Fd < 0)
      throw FileError(path, "не вдається створити тимчасовий файл поруч: " + SystemError());
    TempPath = QFile::decodeName(pattern);
  }
  // Keep the permissions of the file being replaced.
  struct stat st {};
  if (stat(QFile::encodeName(path).constData(), &st) == 0)
    fchmod(Fd, st.st_mode & 07777);
  else
    fchmod(Fd, 0644);
}

AtomicFileWriter::~AtomicFileWriter() {
  if (Done) return;
  if (Fd >= 0) ::close(Fd);
  if (!TempPath.isEmpty()) ::unlink(QFile::encodeName(TempPath).constData());
}

void AtomicFileWriter::Write(const char* data, qint64 size) {
  if (Remote) {
    Content.append(data, size);
    return;
  }
  while (size > 0) {
    const ssize_t n = ::write(Fd, data, size_t(size));
    if (n < 0) {
      if (errno == EINTR) continue;
      throw FileError(FinalPath, "не вдається записати: " + SystemError());
    }
    data += n;
    size -= n;
  }
}

void AtomicFileWriter::Sync() {
  if (Synced || Remote) return;
  if (::fsync(Fd) != 0)
    throw FileError(FinalPath, "не вдається зберегти на диск: " + SystemError());
  Synced = true;
}

// The nameless file gets a temporary name beside the target, right before it is renamed over it.
void AtomicFileWriter::LinkAnonymousFile() {
  const QFileInfo info(FinalPath);
  const QByteArray source = "/proc/self/fd/" + QByteArray::number(Fd);
  for (int attempt = 0; attempt < 100; ++attempt) {
    const QString name = info.absolutePath() + "/." + info.fileName() + "." +
                         QString::number(QRandomGenerator::global()->generate(), 36);
    if (::linkat(AT_FDCWD, source.constData(), AT_FDCWD, QFile::encodeName(name).constData(),
                 AT_SYMLINK_FOLLOW) == 0) {
      TempPath = name;
      return;
    }
    if (errno != EEXIST) break;
  }
  throw FileError(FinalPath, "не вдається дати новому вмісту ім'я поруч: " + SystemError());
}

void AtomicFileWriter::Commit() {
  if (Remote) {
    Remote->Rewrite(FinalPath, [this](const std::optional<QByteArray>&) { return Content; });
    Done = true;
    return;
  }
  Sync();
  if (Anonymous) LinkAnonymousFile();
  // Named and renamed one right after the other; the file is closed afterwards.
  if (std::rename(QFile::encodeName(TempPath).constData(),
                  QFile::encodeName(FinalPath).constData()) != 0)
    throw FileError(FinalPath, "не вдається замінити файл: " + SystemError());
  Done = true;
  const int closed = ::close(Fd);
  Fd = -1;
  if (closed != 0) throw FileError(FinalPath, "файл замінено, але не закрито: " + SystemError());
  NoteOwnFile(FinalPath); // a watcher of the folder knows it for this program's write
}

void WriteFileAtomically(const QString& path, const QByteArray& content) {
  AtomicFileWriter writer(path);
  writer.Write(content);
  writer.Commit();
}

} // namespace base
