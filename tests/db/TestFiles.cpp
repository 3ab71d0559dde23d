#include "TestFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <stdexcept>

namespace testing_support {

QString CorpusPath(const QString& relative) {
  const QString root = QString::fromUtf8(VANDREL_CORPUS);
  return relative.isEmpty() ? root : root + "/" + relative;
}

QString CopyCorpusTable(const QString& relative, const QString& dir) {
  const QFileInfo source(CorpusPath(relative));
  QString copied;
  for (const QString& name : source.dir().entryList(QDir::Files)) {
    if (QFileInfo(name).completeBaseName().compare(source.completeBaseName(),
                                                   Qt::CaseInsensitive) != 0)
      continue;
    const QString target = dir + "/" + name;
    QFile::remove(target);
    if (!QFile::copy(source.dir().filePath(name), target))
      throw std::runtime_error("cannot copy " + name.toStdString());
    QFile(target).setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    if (name == source.fileName()) copied = target;
  }
  return copied;
}

QByteArray ReadAll(const QString& path) {
  QFile f(path);
  if (!f.open(QIODevice::ReadOnly)) throw std::runtime_error("cannot read " + path.toStdString());
  return f.readAll();
}

void WriteAll(const QString& path, const QByteArray& bytes) {
  QFile f(path);
  if (!f.open(QIODevice::WriteOnly | QIODevice::Truncate))
    throw std::runtime_error("cannot write " + path.toStdString());
  f.write(bytes);
}

} // namespace testing_support

namespace testing_support {
QString ParadoxSidePathForTest(const QString& tablePath) {
  const QFileInfo info(tablePath);
  for (const QString& name : info.dir().entryList(QDir::Files))
    if (QFileInfo(name).completeBaseName() == info.completeBaseName() &&
        QFileInfo(name).suffix().toUpper() == "PX")
      return info.dir().filePath(name);
  return info.dir().filePath(info.completeBaseName() + ".PX");
}
} // namespace testing_support
