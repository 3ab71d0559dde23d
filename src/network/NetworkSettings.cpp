#include "NetworkSettings.h"

#include "base/IniFile.h"
#include "base/PathResolver.h"

#include <QStringList>
#include <algorithm>
#include <stdexcept>

namespace network {

namespace {

constexpr const char* kSection = "Network";

QString PathIn(const QString& baseDir) {
  return base::ResolvePath(baseDir, TNetworkSettings::FileName);
}

bool Contains(const std::vector<TNodeGroup>& groups, TNodeGroup g) {
  return std::find(groups.begin(), groups.end(), g) != groups.end();
}

} // namespace

QString TNetworkSettings::Format(const std::vector<TNodeGroup>& groups) {
  QStringList parts;
  for (const TNodeGroup& g : groups)
    parts << QString("%1.%2.%3").arg(g.Category).arg(g.Class).arg(g.Group);
  return parts.join(",");
}

bool TNetworkSettings::Parse(const QString& text, std::vector<TNodeGroup>& groups) {
  groups.clear();
  for (const QString& part : text.split(',', Qt::SkipEmptyParts)) {
    const QStringList numbers = part.trimmed().split('.');
    if (numbers.size() != 3) return false;
    int values[3] = {};
    for (int k = 0; k < 3; ++k) {
      bool ok = false;
      values[k] = numbers[k].trimmed().toInt(&ok);
      if (!ok) return false;
    }
    const TNodeGroup g{values[0], values[1], values[2]};
    if (!Contains(groups, g)) groups.push_back(g);
  }
  return true;
}

TNetworkSettings TNetworkSettings::Read(const QString& baseDir) {
  const base::IniFile ini(PathIn(baseDir));
  TNetworkSettings settings;
  const auto read = [&](const char* key, std::vector<TNodeGroup>& groups) {
    if (!Parse(ini.ReadString(kSection, key, QString()), groups))
      throw std::runtime_error(
          QString::fromUtf8("%1: [%2] %3= не є списком Категорія.Клас.Група через кому")
              .arg(ini.Path(), kSection, key)
              .toStdString());
  };
  read("Valves", settings.Valves);
  read("Connections", settings.Connections);
  return settings;
}

void TNetworkSettings::Write(const QString& baseDir) const {
  base::IniFile ini(PathIn(baseDir));
  ini.WriteString(kSection, "Valves", Format(Valves));
  ini.WriteString(kSection, "Connections", Format(Connections));
  ini.Save();
}

bool TNetworkSettings::IsValve(int category, int cls, int group) const {
  return Contains(Valves, {category, cls, group});
}

bool TNetworkSettings::IsConnection(int category, int cls, int group) const {
  return Contains(Connections, {category, cls, group});
}

} // namespace network
