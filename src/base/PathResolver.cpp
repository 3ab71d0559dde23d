#include "PathResolver.h"

#include "RemoteFiles.h"

#include <QDir>
#include <QFileInfo>
#include <algorithm>

namespace base {

QString NormalizeSeparators(const QString& path) {
  QString p = path;
  p.replace('\\', '/');
  return p;
}

namespace {

QStringList EntriesOf(const QString& dir) {
  if (const RemoteFileKind* remote = RemoteFileKindOf(dir)) return remote->List(dir);
  return QDir(dir).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
}

std::optional<QString> FindEntry(const QString& dir, const QString& entry) {
  const QString exact = ChildPath(dir, entry);
  // On a disk the exact name is looked up without listing the directory.
  if (!RemoteFileKindOf(dir) && QFileInfo::exists(exact)) return exact;
  const QStringList names = EntriesOf(dir);
  if (names.contains(entry)) return exact;
  for (const QString& n : names)
    if (n.compare(entry, Qt::CaseInsensitive) == 0) return ChildPath(dir, n);
  return std::nullopt;
}

} // namespace

std::optional<QString> FindPathIgnoreCase(const QString& dir, const QString& name) {
  const QString normalized = NormalizeSeparators(name);
  QString current = NormalizeSeparators(dir);
  if (current.size() > 1 && current.endsWith('/')) current.chop(1);
  if (QFileInfo(normalized).isAbsolute()) {
    current = "/";
  }
  const QStringList parts = normalized.split('/', Qt::SkipEmptyParts);
  for (const QString& part : parts) {
    if (part == ".") continue;
    const QString base = current == "/" ? QString() : current;
    const auto found = FindEntry(base, part);
    if (!found) return std::nullopt;
    current = *found;
  }
  return current;
}

QString ResolvePath(const QString& dir, const QString& name) {
  if (auto found = FindPathIgnoreCase(dir, name)) return *found;
  const QString normalized = NormalizeSeparators(name);
  if (QFileInfo(normalized).isAbsolute()) return normalized;
  return ChildPath(NormalizeSeparators(dir), normalized);
}

namespace {
qsizetype ExtensionDot(const QString& name) {
  const qsizetype dot = name.lastIndexOf('.');
  const qsizetype slash = std::max(name.lastIndexOf('/'), name.lastIndexOf('\\'));
  return dot > slash ? dot : -1;
}
} // namespace

QString FileExtension(const QString& name) {
  const qsizetype dot = ExtensionDot(name);
  return dot < 0 ? QString() : name.mid(dot).toUpper();
}

QString ChangeExtension(const QString& name, const QString& extension) {
  const qsizetype dot = ExtensionDot(name);
  return (dot < 0 ? name : name.left(dot)) + extension;
}

} // namespace base
