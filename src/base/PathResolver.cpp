#include "PathResolver.h"

#include <QDir>
#include <QFileInfo>

namespace base {

QString NormalizeSeparators(const QString& path) {
  QString p = path;
  p.replace('\\', '/');
  return p;
}

namespace {

std::optional<QString> FindEntry(const QString& dir, const QString& entry) {
  const QString exact = dir + "/" + entry;
  if (QFileInfo::exists(exact)) return exact;
  const QStringList names =
      QDir(dir).entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden | QDir::System);
  for (const QString& n : names)
    if (n.compare(entry, Qt::CaseInsensitive) == 0) return dir + "/" + n;
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
  return NormalizeSeparators(dir) + "/" + normalized;
}

} // namespace base
