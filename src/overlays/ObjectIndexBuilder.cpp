#include "ObjectIndexBuilder.h"
#include "DBPointsIndexs.h"

#include "base/PathResolver.h"
#include "base/RemoteFiles.h"
#include "db/Error.h"
#include "db/ParadoxFile.h"
#include "db/ParadoxFormat.h"
#include "db/Table.h"

#include <QDir>
#include <QFileInfo>
#include <cmath>
#include <limits>
#include <map>
#include <set>

namespace {

using db::FieldType;
using db::Value;

} // namespace

std::vector<db::FieldDef> GridTableFields() {
  namespace px = db::paradox;
  return {
      px::MakeField("Nodei", FieldType::Integer),     px::MakeField("Nodej", FieldType::Integer),
      px::MakeField("Category", FieldType::SmallInt), px::MakeField("Class", FieldType::Integer),
      px::MakeField("ObjNum", FieldType::Integer),    px::MakeField("X", FieldType::Float),
      px::MakeField("Y", FieldType::Float),           px::MakeField("ScaleIn", FieldType::Float),
      px::MakeField("ScaleOut", FieldType::Float)};
}

namespace {

// A Paradox long integer field holds every 32-bit value but the lowest, which marks it empty.
bool FitsCellField(int64_t cell) {
  return cell > std::numeric_limits<int32_t>::min() && cell <= std::numeric_limits<int32_t>::max();
}

Value Bound(double scale) {
  return scale == 0 ? Value() : Value(scale);
}

bool UsableCell(double size) {
  return size > 0 && std::isfinite(size);
}

// The grid: its origin and the cell size in X and in Y.
struct Grid {
  TExtent Extent;
  double Width = kDefaultGridCell, Height = kDefaultGridCell;
  int64_t Column(double x) const { return GridCellNumber(x - Extent.XMin, Width); }
  int64_t Row(double y) const { return GridCellNumber(y - Extent.YMin, Height); }
};

// The cell size kept in an existing SPIN.DB (its header's X and Y), or the default.
void ReadCellSize(const QString& userObjDir, Grid& grid) {
  try {
    db::Table spin(userObjDir, kSpinTable);
    spin.Open();
    if (spin.IsEmpty()) return;
    spin.First();
    const double width = spin.FieldByName("X").AsFloat();
    const double height = spin.FieldByName("Y").AsFloat();
    if (UsableCell(width)) grid.Width = width;
    grid.Height = UsableCell(height) ? height : grid.Width;
  } catch (const db::Error&) {
    // No index yet.
  }
}

using ClassSet = std::set<std::pair<int64_t, int64_t>>;

// The records of an existing grid table whose classes are not rebuilt, filed again under the
// cells of this grid; the shared table's header is left out (a new one is written).
std::vector<std::vector<Value>> KeptRecords(const QString& userObjDir, const QString& name,
                                            const ClassSet& rebuilt, const Grid& grid) {
  std::vector<std::vector<Value>> kept;
  if (!base::FindPathIgnoreCase(userObjDir, name)) return kept;
  db::Table table(userObjDir, name);
  table.Open();
  const bool shared = name.compare(kSpinTable, Qt::CaseInsensitive) == 0;
  const size_t category = table.FieldByName("Category").FieldNo();
  const size_t cls = table.FieldByName("Class").FieldNo();
  const size_t number = table.FieldByName("ObjNum").FieldNo();
  const size_t x = table.FieldByName("X").FieldNo(), y = table.FieldByName("Y").FieldNo();
  const size_t in = table.FieldByName("ScaleIn").FieldNo();
  const size_t out = table.FieldByName("ScaleOut").FieldNo();
  for (int i = shared ? 1 : 0; i < table.RecordCount(); ++i) {
    const int64_t c = db::ValueToInteger(table.ValueAt(i, category));
    const int64_t k = db::ValueToInteger(table.ValueAt(i, cls));
    if (rebuilt.count({c, k})) continue;
    const double ox = db::ValueToFloat(table.ValueAt(i, x)),
                 oy = db::ValueToFloat(table.ValueAt(i, y));
    const int64_t column = grid.Column(ox), row = grid.Row(oy);
    if (!std::isfinite(ox) || !std::isfinite(oy) || !FitsCellField(column) || !FitsCellField(row))
      continue;
    kept.push_back({column, row, c, k, table.ValueAt(i, number), ox, oy, table.ValueAt(i, in),
                    table.ValueAt(i, out)});
  }
  return kept;
}

// The header must stay the first record in key order: objects west or south of the map's extent
// have cell numbers below 1, and the header's column goes below theirs.
void KeepHeaderFirst(std::vector<std::vector<Value>>& shared) {
  int64_t lowest = 1;
  for (size_t i = 1; i < shared.size(); ++i)
    lowest = std::min(lowest, db::ValueToInteger(shared[i][0]));
  if (lowest <= 0)
    shared[0][0] = std::max<int64_t>(lowest - 1, std::numeric_limits<int32_t>::min() + 1);
}

// One grid record per object of the layer's class in its objects table.
void AddLayerObjects(db::Table& layers, const QString& mapsDir, const Grid& grid,
                     std::vector<std::vector<Value>>& records) {
  const int64_t category = layers.FieldByName("Category").AsInteger();
  const int64_t cls = layers.FieldByName("Class").AsInteger();
  const Value scaleIn = Bound(layers.FieldByName("ZoomInScale").AsFloat());
  const Value scaleOut = Bound(layers.FieldByName("ZoomOutScale").AsFloat());
  db::Table objects(mapsDir, layers.FieldByName("FileName").AsString());
  objects.Open();
  const size_t c = objects.FieldByName("Category").FieldNo();
  const size_t k = objects.FieldByName("Class").FieldNo();
  const size_t code = objects.FieldByName("ObjectCode").FieldNo();
  const size_t x = objects.FieldByName("X").FieldNo(), y = objects.FieldByName("Y").FieldNo();
  for (int i = 0; i < objects.RecordCount(); ++i) {
    if (db::ValueToInteger(objects.ValueAt(i, c)) != category ||
        db::ValueToInteger(objects.ValueAt(i, k)) != cls)
      continue;
    const double ox = db::ValueToFloat(objects.ValueAt(i, x));
    const double oy = db::ValueToFloat(objects.ValueAt(i, y));
    const int64_t column = grid.Column(ox);
    const int64_t row = grid.Row(oy);
    // An object with no place, or so far away that its cell has no number in the table, could
    // never be found; it is left out of the index.
    if (!std::isfinite(ox) || !std::isfinite(oy) || !FitsCellField(column) || !FitsCellField(row))
      continue;
    records.push_back({column, row, category, cls, db::ValueToInteger(objects.ValueAt(i, code)), ox,
                       oy, scaleIn, scaleOut});
  }
}

// Replaces the rows of an existing grid table in one step, or writes a new one.
void WriteGridTable(const QString& userObjDir, const QString& name,
                    const std::vector<std::vector<Value>>& records) {
  if (base::FindPathIgnoreCase(userObjDir, name)) {
    db::Table table(userObjDir, name);
    table.Open();
    table.Writes().ReplaceAllRows(records);
    return;
  }
  if (base::RemoteFileKindOf(userObjDir)) // a database atlas's tables come with its import
    throw db::Error::ForTable(userObjDir + "/" + name,
                              QString::fromUtf8("таблиці в базі немає; атлас без неї імпортовано"));
  db::ParadoxFile::Create(userObjDir + "/" + name, GridTableFields(), 5, records);
}

} // namespace

TIndexBuildResult BuildObjectIndex(const QString& BaseDir, const QString& MapsDir,
                                   const QString& UserObjDir, const TExtent& Extent) {
  if (!base::RemoteFileKindOf(UserObjDir)) QDir().mkpath(UserObjDir);
  Grid grid;
  grid.Extent = Extent;
  ReadCellSize(UserObjDir, grid);
  // The records of every grid table by its file name; the shared table starts with its header.
  std::map<QString, std::vector<std::vector<Value>>> tables;
  tables[kSpinTable].push_back({int64_t(0), int64_t(0), int64_t(0), int64_t(0), int64_t(0),
                                grid.Width, grid.Height, Value(), Value()});
  db::Table layers(BaseDir, "ClassReest");
  layers.Open();
  TIndexBuildResult result;
  ClassSet rebuilt;
  for (layers.First(); !layers.Eof(); layers.Next()) {
    const int64_t kind = layers.FieldByName("PrimitiveType").AsInteger();
    const bool nodes = layers.FieldByName("Category").AsInteger() == 100;
    if ((kind != 101 && kind != 102) || !(nodes || layers.FieldByName("IsIndexed").AsBoolean()))
      continue;
    rebuilt.insert(
        {layers.FieldByName("Category").AsInteger(), layers.FieldByName("Class").AsInteger()});
    QString own = layers.FieldByName("FileName").AsString();
    if (const qsizetype dot = own.indexOf('.'); dot >= 0) own.truncate(dot);
    own = "spin" + own + ".db";
    const auto ownFile = base::FindPathIgnoreCase(UserObjDir, own);
    auto& records = tables[ownFile ? QFileInfo(*ownFile).fileName() : kSpinTable];
    const size_t before = records.size();
    AddLayerObjects(layers, MapsDir, grid, records);
    result.Objects += int(records.size() - before);
  }
  // The records of the classes not rebuilt here (objects this atlas's layers do not index, or
  // kept by other programs) stay in their tables.
  for (auto& [name, records] : tables) {
    std::vector<std::vector<Value>> kept = KeptRecords(UserObjDir, name, rebuilt, grid);
    result.Kept += int(kept.size());
    records.insert(records.end(), std::make_move_iterator(kept.begin()),
                   std::make_move_iterator(kept.end()));
  }
  KeepHeaderFirst(tables[kSpinTable]);
  for (const auto& [name, records] : tables) {
    WriteGridTable(UserObjDir, name, records);
    result.Tables << QString("%1: записів %2").arg(name).arg(records.size());
  }
  return result;
}
