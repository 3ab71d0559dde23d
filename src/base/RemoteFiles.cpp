#include "RemoteFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <vector>

namespace base {

namespace {

std::vector<RemoteFileKind>& Kinds() {
  static std::vector<RemoteFileKind> kinds;
  return kinds;
}

} // namespace

void RegisterRemoteFileKind(RemoteFileKind kind) {
  Kinds().push_back(std::move(kind));
}

const RemoteFileKind* RemoteFileKindOf(const QString& path) {
  for (const RemoteFileKind& kind : Kinds())
    if (kind.Claims(path)) return &kind;
  return nullptr;
}

QString ChildPath(const QString& directory, const QString& name) {
  const bool storeTop = !directory.contains('#') && RemoteFileKindOf(directory);
  return directory + (storeTop ? "#" : "/") + name;
}

QString AbsoluteRoot(const QString& root) {
  return RemoteFileKindOf(root) ? root : QDir(root).absolutePath();
}

QString RootName(const QString& root) {
  if (const RemoteFileKind* remote = RemoteFileKindOf(root)) return remote->Name(root);
  const QString name = QFileInfo(QDir::cleanPath(root)).fileName();
  return name.isEmpty() ? QDir::cleanPath(root) : name;
}

bool PathExists(const QString& path) {
  const RemoteFileKind* remote = RemoteFileKindOf(path);
  if (!remote) return QFileInfo::exists(path);
  const qsizetype slash = path.lastIndexOf('/');
  const qsizetype hash = path.indexOf('#');
  if (hash < 0 || slash < hash) return !remote->List(path).isEmpty(); // the store, or a folder
  return remote->List(path.left(slash)).contains(path.mid(slash + 1));
}

std::optional<QByteArray> ReadWholeFile(const QString& path) {
  if (const RemoteFileKind* remote = RemoteFileKindOf(path)) return remote->Read(path);
  QFile file(path);
  if (!file.open(QIODevice::ReadOnly)) return std::nullopt;
  return file.readAll();
}

} // namespace base
