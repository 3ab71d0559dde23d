#include "OwnWrites.h"

#include "RemoteFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <map>
#include <mutex>
#include <sys/stat.h>

namespace base {
namespace {

std::mutex lock;
std::map<QString, QString>& Signatures() {
  static std::map<QString, QString> signatures; // by absolute path
  return signatures;
}

} // namespace

QString FileSignature(const QString& path) {
  if (const RemoteFileKind* remote = RemoteFileKindOf(path)) return remote->Signature(path);
  struct stat st {};
  if (::stat(QFile::encodeName(path).constData(), &st) != 0) return QString();
  return QString("%1:%2.%3:%4")
      .arg(st.st_ino)
      .arg(st.st_mtim.tv_sec)
      .arg(st.st_mtim.tv_nsec)
      .arg(st.st_size);
}

// A file's key: its absolute path; a store's path as it stands.
QString Key(const QString& path) {
  return RemoteFileKindOf(path) ? path : QFileInfo(path).absoluteFilePath();
}

void NoteOwnFile(const QString& path) {
  NoteOwnState(path, FileSignature(Key(path)));
}

void NoteOwnState(const QString& path, const QString& signature) {
  std::lock_guard guard(lock);
  Signatures()[Key(path)] = signature;
}

void NoteOwnWrite(const QString& path) {
  const QFileInfo info(path);
  const QDir dir = info.absoluteDir();
  for (const QString& name :
       dir.entryList({info.completeBaseName() + ".*"}, QDir::Files | QDir::Hidden))
    NoteOwnFile(dir.absoluteFilePath(name));
}

bool IsOwnState(const QString& path, const QString& signature) {
  std::lock_guard guard(lock);
  const auto it = Signatures().find(Key(path));
  return it != Signatures().end() && it->second == signature;
}

} // namespace base
