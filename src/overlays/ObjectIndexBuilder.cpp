#include "ObjectIndexBuilder.h"
#include "DBPointsIndexs.h"

#include "base/PathResolver.h"
#include "db/Error.h"
#include "db/ParadoxFile.h"
#include "db/ParadoxFormat.h"
#include "db/Table.h"

#include <QDir>
#include <QFileInfo>
#include <cmath>
#include <limits>
#include <map>

namespace {

using db::FieldType;
using db::Value;

const QString kSpinTable = "SPIN.DB";

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

// The cell size kept in an existing SPIN.DB, or the default.
double CellSize(const QString& userObjDir) {
  try {
    db::Table spin(userObjDir, kSpinTable);
    spin.Open();
    if (!spin.IsEmpty()) {
      spin.First();
      const double width = spin.FieldByName("X").AsFloat();
      if (width > 0 && std::isfinite(width)) return width;
    }
  } catch (const db::Error&) {
    // No index yet.
  }
  return kDefaultGridCell;
}

// One grid record per object of the layer's class in its objects table.
void AddLayerObjects(db::Table& layers, const QString& mapsDir, const TExtent& extent, double cell,
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
    const int64_t column = GridCellNumber(ox - extent.XMin, cell);
    const int64_t row = GridCellNumber(oy - extent.YMin, cell);
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
    table.ReplaceAllRows(records);
    return;
  }
  db::ParadoxFile::Create(userObjDir + "/" + name, GridTableFields(), 5, records);
}

} // namespace

TIndexBuildResult BuildObjectIndex(const QString& BaseDir, const QString& MapsDir,
                                   const QString& UserObjDir, const TExtent& Extent) {
  QDir().mkpath(UserObjDir);
  const double cell = CellSize(UserObjDir);
  // The records of every grid table by its file name; the shared table starts with its header.
  std::map<QString, std::vector<std::vector<Value>>> tables;
  tables[kSpinTable].push_back(
      {int64_t(0), int64_t(0), int64_t(0), int64_t(0), int64_t(0), cell, cell, Value(), Value()});
  db::Table layers(BaseDir, "ClassReest");
  layers.Open();
  TIndexBuildResult result;
  for (layers.First(); !layers.Eof(); layers.Next()) {
    const int64_t kind = layers.FieldByName("PrimitiveType").AsInteger();
    const bool nodes = layers.FieldByName("Category").AsInteger() == 100;
    if ((kind != 101 && kind != 102) || !(nodes || layers.FieldByName("IsIndexed").AsBoolean()))
      continue;
    QString own = layers.FieldByName("FileName").AsString();
    if (const qsizetype dot = own.indexOf('.'); dot >= 0) own.truncate(dot);
    own = "spin" + own + ".db";
    const auto ownFile = base::FindPathIgnoreCase(UserObjDir, own);
    auto& records = tables[ownFile ? QFileInfo(*ownFile).fileName() : kSpinTable];
    const size_t before = records.size();
    AddLayerObjects(layers, MapsDir, Extent, cell, records);
    result.Objects += int(records.size() - before);
  }
  for (const auto& [name, records] : tables) {
    WriteGridTable(UserObjDir, name, records);
    result.Tables << QString("%1: %2 records").arg(name).arg(records.size());
  }
  return result;
}
