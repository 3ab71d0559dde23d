#include "Bookmarks.h"

#include "base/IniFile.h"
#include "base/RemoteFiles.h"

#include <QDir>
#include <QStringList>
#include <cmath>

TBookmarks::TBookmarks(const QString& appDir, const QString& dataRoot)
    : Path(appDir + "/BOOKMARKS.INI"), Section(base::AbsoluteRoot(dataRoot)) {}

std::vector<std::pair<QString, TExtent>> TBookmarks::List() const {
  std::vector<std::pair<QString, TExtent>> list;
  const base::IniFile ini(Path);
  for (const QString& name : ini.Keys(Section)) {
    const QStringList v = ini.ReadString(Section, name, QString()).split(';');
    if (v.size() != 4) continue; // a line edited by hand into something else is passed over
    bool ok[4] = {};
    const TExtent e{v[0].toDouble(&ok[0]), v[1].toDouble(&ok[1]), v[2].toDouble(&ok[2]),
                    v[3].toDouble(&ok[3])};
    if (ok[0] && ok[1] && ok[2] && ok[3] && std::isfinite(e.XMin + e.YMin + e.XMax + e.YMax) &&
        e.XMax > e.XMin && e.YMax > e.YMin)
      list.emplace_back(name, e);
  }
  return list;
}

QString TBookmarks::KeptName(const QString& name) {
  QString kept = name.simplified();
  kept.replace('=', '-');
  while (kept.startsWith('[') || kept.startsWith(';'))
    kept.remove(0, 1);
  return kept.left(80).trimmed();
}

QString TBookmarks::Add(const QString& name, const TExtent& view) {
  const QString kept = KeptName(name);
  if (kept.isEmpty()) return kept;
  base::IniFile ini(Path);
  ini.WriteString(Section, kept,
                  QString("%1;%2;%3;%4")
                      .arg(view.XMin, 0, 'g', 17)
                      .arg(view.YMin, 0, 'g', 17)
                      .arg(view.XMax, 0, 'g', 17)
                      .arg(view.YMax, 0, 'g', 17));
  ini.Save();
  return kept;
}

void TBookmarks::Remove(const QString& name) {
  base::IniFile ini(Path);
  if (!ini.HasKey(Section, name)) return;
  ini.DeleteKey(Section, name);
  ini.Save();
}
