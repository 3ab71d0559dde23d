#include "OwnWrites.h"

#include "TableFile.h"

#include <QDir>
#include <QFileInfo>
#include <map>
#include <mutex>

namespace db {
namespace {

std::mutex lock;
std::map<QString, QString>& Signatures() {
  static std::map<QString, QString> signatures; // by absolute path
  return signatures;
}

} // namespace

void NoteOwnWrite(const QString& path) {
  const QFileInfo info(path);
  const QDir dir = info.absoluteDir();
  const QStringList names =
      dir.entryList({info.completeBaseName() + ".*"}, QDir::Files | QDir::Hidden);
  std::lock_guard guard(lock);
  for (const QString& name : names)
    Signatures()[dir.absoluteFilePath(name)] = FileSignature(dir.absoluteFilePath(name));
}

bool IsOwnState(const QString& path, const QString& signature) {
  std::lock_guard guard(lock);
  const auto it = Signatures().find(QFileInfo(path).absoluteFilePath());
  return it != Signatures().end() && it->second == signature;
}

} // namespace db
