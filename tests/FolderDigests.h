#pragma once
// The digest of every file under a folder, hidden ones too, by path relative to it: two calls
// compare equal exactly when no file of the folder appeared, vanished or changed a byte.

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <gtest/gtest.h>
#include <map>

inline std::map<QString, QByteArray> FolderDigests(const QString& dir) {
  std::map<QString, QByteArray> digests;
  QDirIterator it(dir, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
  while (it.hasNext()) {
    const QString path = it.next();
    QFile f(path);
    EXPECT_TRUE(f.open(QIODevice::ReadOnly)) << path.toStdString();
    digests[QDir(dir).relativeFilePath(path)] =
        QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256);
  }
  return digests;
}
