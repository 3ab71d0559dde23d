#include "Buildings.h"
#include "TableColumns.h"

#include "base/PathResolver.h"
#include "layers/GeometryFile.h"

#include <QFileInfo>
#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>

namespace network {

namespace {

QString FileOfLayer(const QString& baseDir, TLayerClass layer, const char* key) {
  if (!layer)
    throw std::runtime_error(QString::fromUtf8("У налаштуваннях мережі (BASE\\%1) не вказано "
                                               "шару [Network] %2=")
                                 .arg(TNetworkSettings::FileName, key)
                                 .toStdString());
  if (const auto file = FindLayerFile(baseDir, layer.Category, layer.Class)) return *file;
  throw std::runtime_error(
      QString::fromUtf8("Шару %1.%2 ([Network] %3= у BASE\\%4) немає в таблиці шарів ClassReest")
          .arg(layer.Category)
          .arg(layer.Class)
          .arg(key, TNetworkSettings::FileName)
          .toStdString());
}

QString TableOf(const QString& geometryName) {
  return QFileInfo(geometryName).completeBaseName() + ".dbf";
}

// Even-odd over all rings: a courtyard is outside, a second part inside.
bool Inside(const std::vector<std::vector<TWorldPoint>>& rings, const TWorldPoint& p) {
  bool inside = false;
  for (const auto& ring : rings)
    for (size_t i = 0, j = ring.size() - 1; i < ring.size(); j = i++) {
      const TWorldPoint &a = ring[i], &b = ring[j];
      if ((a.Y > p.Y) != (b.Y > p.Y) && p.X < (b.X - a.X) * (p.Y - a.Y) / (b.Y - a.Y) + a.X)
        inside = !inside;
    }
  return inside;
}

double SegmentDistance(const TWorldPoint& p, const TWorldPoint& a, const TWorldPoint& b) {
  const double dx = b.X - a.X, dy = b.Y - a.Y, length2 = dx * dx + dy * dy;
  const double t =
      length2 > 0 ? std::clamp(((p.X - a.X) * dx + (p.Y - a.Y) * dy) / length2, 0.0, 1.0) : 0.0;
  return std::hypot(p.X - (a.X + t * dx), p.Y - (a.Y + t * dy));
}

double OutlineDistance(const TBuildings::Building& b, const TWorldPoint& p) {
  double best = std::numeric_limits<double>::infinity();
  for (const auto& ring : b.Rings)
    for (size_t i = 1; i < ring.size(); ++i)
      best = std::min(best, SegmentDistance(p, ring[i - 1], ring[i]));
  return best;
}

} // namespace

std::unique_ptr<TBuildings> TBuildings::Load(const QString& baseDir, const QString& mapsDir,
                                             const TNetworkSettings& settings) {
  auto b = std::make_unique<TBuildings>();
  b->Tolerance = settings.BuildingTolerance;
  b->GeometryName = FileOfLayer(baseDir, settings.Buildings, "Buildings");
  b->ReadOutlines(base::ResolvePath(mapsDir, b->GeometryName));
  b->ReadRows(mapsDir, TableOf(b->GeometryName));
  b->IndexCells();
  if (settings.Addresses)
    b->ReadAddressPoints(mapsDir, FileOfLayer(baseDir, settings.Addresses, "Addresses"));
  return b;
}

void TBuildings::ReadOutlines(const QString& path) {
  TGeometryFile file(path);
  TGeometryFile::Record r;
  while (file.Next(r)) {
    if (!r.HasBox || !TGeometryFile::HasParts(r.ShapeType)) continue;
    Building b;
    b.Record = r.Index;
    b.Code = r.Index + 1;
    b.XMin = r.XMin, b.YMin = r.YMin, b.XMax = r.XMax, b.YMax = r.YMax;
    const TGeometryFile::Parts parts = file.ReadParts(r);
    for (int part = 0; part < parts.NumParts; ++part) {
      auto& ring = b.Rings.emplace_back();
      for (int k = parts.Starts[size_t(part)]; k < parts.Starts[size_t(part) + 1]; ++k)
        ring.push_back(file.PointAt(parts, k));
      if (ring.empty()) b.Rings.pop_back();
    }
    if (!b.Rings.empty()) List.push_back(std::move(b));
  }
}

void TBuildings::ReadRows(const QString& mapsDir, const QString& table) {
  db::Table rows(mapsDir, table);
  rows.Open();
  const auto code = OptionalColumn(rows, "OBJECTCODE");
  for (Building& b : List) {
    const int row = rows.PositionOfRecord(b.Record);
    if (row < 0) continue; // a deleted row: the outline stays, without an address
    if (code && !db::IsNull(rows.ValueAt(row, *code)))
      b.Code = db::ValueToInteger(rows.ValueAt(row, *code));
    b.Address = StreetAddress(rows, row);
  }
}

void TBuildings::IndexCells() {
  for (size_t i = 0; i < List.size(); ++i) {
    const Building& b = List[i];
    for (auto cx = int64_t(std::floor(b.XMin / kCell)); cx <= int64_t(std::floor(b.XMax / kCell));
         ++cx)
      for (auto cy = int64_t(std::floor(b.YMin / kCell)); cy <= int64_t(std::floor(b.YMax / kCell));
           ++cy)
        Cells[CellKey(cx, cy)].push_back(int(i));
  }
}

template <typename Visit>
void TBuildings::ForEachNear(const TWorldPoint& p, double reach, Visit visit) const {
  std::vector<int> seen;
  for (auto cx = int64_t(std::floor((p.X - reach) / kCell));
       cx <= int64_t(std::floor((p.X + reach) / kCell)); ++cx)
    for (auto cy = int64_t(std::floor((p.Y - reach) / kCell));
         cy <= int64_t(std::floor((p.Y + reach) / kCell)); ++cy) {
      const auto cell = Cells.find(CellKey(cx, cy));
      if (cell == Cells.end()) continue;
      for (const int i : cell->second) {
        const Building& b = List[size_t(i)];
        if (p.X < b.XMin - reach || p.X > b.XMax + reach || p.Y < b.YMin - reach ||
            p.Y > b.YMax + reach || std::find(seen.begin(), seen.end(), i) != seen.end())
          continue;
        seen.push_back(i);
        if (!visit(i)) return;
      }
    }
}

void TBuildings::ReadAddressPoints(const QString& mapsDir, const QString& geometryName) {
  db::Table rows(mapsDir, TableOf(geometryName));
  rows.Open();
  TGeometryFile file(base::ResolvePath(mapsDir, geometryName));
  TGeometryFile::Record r;
  while (file.Next(r)) {
    if (!r.HasBox) continue;
    const int row = rows.PositionOfRecord(r.Index);
    const TWorldPoint p{r.XMin, r.YMin};
    if (row < 0) continue;
    ForEachNear(p, 0, [&](int i) {
      Building& b = List[size_t(i)];
      if (!Inside(b.Rings, p)) return true;
      if (const QString address = StreetAddress(rows, row); !address.isEmpty()) b.Address = address;
      return false;
    });
  }
}

int TBuildings::BuildingAt(const TWorldPoint& p) const {
  int inside = -1, nearest = -1;
  double best = std::numeric_limits<double>::infinity();
  ForEachNear(p, Tolerance, [&](int i) {
    const Building& b = List[size_t(i)];
    if (Inside(b.Rings, p)) {
      inside = i;
      return false;
    }
    const double d = OutlineDistance(b, p);
    if (d <= Tolerance && d < best) best = d, nearest = i;
    return true;
  });
  return inside >= 0 ? inside : nearest;
}

} // namespace network
