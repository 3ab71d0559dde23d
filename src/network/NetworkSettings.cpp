#include "NetworkSettings.h"

#include "base/IniFile.h"
#include "base/PathResolver.h"

#include <QStringList>
#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace network {

namespace {

constexpr const char* kSection = "Network";
constexpr const char* kEpanet = "Epanet";
constexpr const char* kRoughness = "Roughness";

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

namespace {

[[noreturn]] void Wrong(const base::IniFile& ini, const QString& section, const QString& key,
                        const QString& what) {
  throw std::runtime_error(
      QString::fromUtf8("%1: [%2] %3= %4").arg(ini.Path(), section, key, what).toStdString());
}

// Numbers in the file are written with a point whatever the desktop's language; NaN, infinity
// and numbers beyond `most` (no network has them) are refused, not passed on to a model.
double ReadNumber(const base::IniFile& ini, const char* section, const char* key, double def,
                  double most) {
  const QString text = ini.ReadString(section, key, QString()).trimmed();
  if (text.isEmpty()) return def;
  bool ok = false;
  const double value = text.toDouble(&ok);
  if (!ok || !std::isfinite(value) || value < 0)
    Wrong(ini, section, key, "не є невід'ємним числом");
  if (value > most)
    Wrong(ini, section, key,
          QString::fromUtf8("більше %1: такого значення в мережі не буває").arg(most));
  return value;
}

TLayerClass ReadLayer(const base::IniFile& ini, const char* section, const char* key) {
  const QString text = ini.ReadString(section, key, QString()).trimmed();
  if (text.isEmpty()) return {};
  const QStringList numbers = text.split('.');
  bool ok[2] = {false, false};
  const TLayerClass layer{numbers.value(0).toInt(&ok[0]), numbers.value(1).toInt(&ok[1])};
  if (numbers.size() != 2 || !ok[0] || !ok[1] || layer.Category == 0)
    Wrong(ini, section, key, "не є шаром Категорія.Клас");
  return layer;
}

TRoughness ReadRoughness(const base::IniFile& ini, const QString& key) {
  const QStringList numbers = ini.ReadString(kRoughness, key, QString()).split(',');
  bool ok[2] = {false, false};
  const TRoughness r{numbers.value(0).trimmed().toDouble(&ok[0]),
                     numbers.value(1).trimmed().toDouble(&ok[1])};
  if (numbers.size() != 2 || !ok[0] || !ok[1] || !std::isfinite(r.New) ||
      !std::isfinite(r.LossPerDecade) || r.New <= 0 || r.New > 200 || r.LossPerDecade < 0 ||
      r.LossPerDecade > 200)
    Wrong(ini, kRoughness, key, "не є парою \"C нової труби, втрата C за десятиліття\"");
  return r;
}

} // namespace

TNetworkSettings TNetworkSettings::Read(const QString& baseDir) {
  const base::IniFile ini(PathIn(baseDir));
  TNetworkSettings settings;
  const auto read = [&](const char* key, std::vector<TNodeGroup>& groups) {
    if (!Parse(ini.ReadString(kSection, key, QString()), groups))
      Wrong(ini, kSection, key, "не є списком Категорія.Клас.Група через кому");
  };
  read("Valves", settings.Valves);
  read("Connections", settings.Connections);
  read("Sources", settings.Sources);
  settings.Buildings = ReadLayer(ini, kSection, "Buildings");
  settings.Addresses = ReadLayer(ini, kSection, "Addresses");
  settings.BuildingTolerance = ReadNumber(ini, kSection, "BuildingTolerance", 5, 100);
  settings.ElevationField = ini.ReadString(kEpanet, "Elevation", QString()).trimmed();
  settings.Survey = ReadLayer(ini, kEpanet, "Survey");
  // L/s at one service connection; metres of water above a source's ground.
  settings.DemandPerConnection = ReadNumber(ini, kEpanet, "DemandPerConnection", 0, 100);
  settings.SourceHead = ReadNumber(ini, kEpanet, "SourceHead", 40, 500);
  for (const QString& key : ini.Keys(kRoughness)) {
    if (key.compare("Default", Qt::CaseInsensitive) == 0)
      settings.DefaultRoughness = ReadRoughness(ini, key);
    else
      settings.Roughness[key.trimmed().toLower()] = ReadRoughness(ini, key);
  }
  return settings;
}

void TNetworkSettings::Write(const QString& baseDir) const {
  base::IniFile ini(PathIn(baseDir));
  ini.WriteString(kSection, "Valves", Format(Valves));
  ini.WriteString(kSection, "Connections", Format(Connections));
  ini.WriteString(kSection, "Sources", Format(Sources));
  const auto layer = [](TLayerClass l) {
    return l ? QString("%1.%2").arg(l.Category).arg(l.Class) : QString();
  };
  ini.WriteString(kSection, "Buildings", layer(Buildings));
  ini.WriteString(kSection, "Addresses", layer(Addresses));
  // A point whatever the desktop's language.
  ini.WriteString(kSection, "BuildingTolerance", QString::number(BuildingTolerance));
  ini.Save();
}

bool TNetworkSettings::IsValve(int category, int cls, int group) const {
  return Contains(Valves, {category, cls, group});
}

bool TNetworkSettings::IsConnection(int category, int cls, int group) const {
  return Contains(Connections, {category, cls, group});
}

bool TNetworkSettings::IsSource(int category, int cls, int group) const {
  return Contains(Sources, {category, cls, group});
}

double TNetworkSettings::RoughnessOf(const QString& material, int year, int now) const {
  const auto row = Roughness.find(material.trimmed().toLower());
  const TRoughness& r = row == Roughness.end() ? DefaultRoughness : row->second;
  // A pipe without a year, or with one still to come, is taken as new.
  const double decades = year > 0 && year < now ? (now - year) / 10.0 : 0;
  return std::max(40.0, r.New - r.LossPerDecade * decades);
}

} // namespace network
