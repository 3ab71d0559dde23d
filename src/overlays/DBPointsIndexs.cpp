#include "DBPointsIndexs.h"

#include "base/PathResolver.h"
#include "base/UserMessages.h"
#include "db/Error.h"
#include "db/TableFile.h"
#include "gfx/Canvas.h"

#include <QFileInfo>
#include <algorithm>
#include <cmath>
#include <limits>

namespace {

constexpr double kNearRadius = 10; // map units, in X and in Y

} // namespace

TDBPointsIndexs::TDBPointsIndexs(const QString& mapsDir, const QString& baseDir,
                                 const QString& userObjDir, double xMin, double yMin, double xMax,
                                 double yMax)
    : MapsDir(mapsDir), BaseDir(baseDir), UserObjDir(userObjDir), XMin(xMin), YMin(yMin),
      XMax(xMax), YMax(yMax) {
  try {
    SpinTable.SetDatabaseName(UserObjDir);
    SpinTable.SetTableName(kSpinTable);
    SpinTable.Open();
  } catch (const db::Error&) {
    // Every search then finds nothing.
    ReportOpenFailure(UserObjDir, kSpinTable);
    return;
  }
  if (SpinTable.IsEmpty()) return;
  // The header: the first record in key order holds the cell size.
  SpinTable.First();
  CellWidth = SpinTable.FieldByName("X").AsFloat();
  CellHeight = SpinTable.FieldByName("Y").AsFloat();
  // A cell size that is not a positive number leaves the grid unusable: nothing is found.
  if (!(CellWidth > 0 && CellHeight > 0 && std::isfinite(CellWidth) && std::isfinite(CellHeight)))
    CellWidth = CellHeight = 0;
  ClassReestTable = std::make_unique<db::Table>();
  ClassReestTable->SetDatabaseName(BaseDir);
  ClassReestTable->SetTableName("ClassReest");
  ClassReestPath = base::FindPathIgnoreCase(BaseDir, "ClassReest.db").value_or(QString());
}

TDBPointsIndexs::~TDBPointsIndexs() {
  if (ClassReestTable) ClassReestTable->Close();
  SpinTable.Close();
}

void TDBPointsIndexs::ReportOpenFailure(const QString& directory, const QString& table) const {
  base::UserMessages::Current().ShowMessage(QString::fromUtf8("Помилка відкриття ") + directory +
                                            "\\" + table);
}

// ---------------------------------------------------------------- the layers table

bool TDBPointsIndexs::FindClassRow(int16_t Category, int32_t Class) {
  if (!ClassReestTable) return false;
  try {
    ClassReestTable->Close();
    ClassReestTable->Open();
    ClassReestTable->SetIndexFieldNames("Category;Class");
  } catch (const db::Error&) {
    base::UserMessages::Current().ShowMessage(QString::fromUtf8("Помилка відкриття ") + BaseDir +
                                              "\\ClassReest.db");
    return false;
  }
  return ClassReestTable->FindKey({int64_t(Category), int64_t(Class)});
}

QString TDBPointsIndexs::GetSpinTableName(int16_t Category, int32_t Class) {
  if (!FindClassRow(Category, Class)) return QString();
  QString name = ClassReestTable->FieldByName("FileName").AsString();
  const qsizetype dot = name.indexOf('.');
  if (dot >= 0) name.truncate(dot);
  return "spin" + name + ".db";
}

QString TDBPointsIndexs::GetObjectLabel(int16_t Category, int32_t Class, int32_t ObjectNumber) {
  if (!FindClassRow(Category, Class)) return QString();
  const QString tableName = ClassReestTable->FieldByName("FileName").AsString();
  const QString directory = Category == 100 ? MapsDir : UserObjDir;
  db::Table objects;
  try {
    objects.SetDatabaseName(directory);
    objects.SetTableName(tableName);
    objects.Open();
  } catch (const db::Error&) {
    ReportOpenFailure(directory, tableName);
    return QString();
  }
  // Network nodes are found by their number; user objects by their table's key. A table without
  // that field or key is said, and the object gets an empty label.
  try {
    if (Category == 100) objects.SetIndexFieldNames("ObjectCode");
    if (!objects.FindKey({int64_t(ObjectNumber)})) return QString();
  } catch (const db::Error& e) {
    base::UserMessages::Current().ShowMessage(QString::fromUtf8("Помилка: ") + e.Message);
    return QString();
  }
  // The object's Number where it has one, else its Name: a Number field left empty (valves and
  // wells have none, only house inlets do) would give the choice blank lines.
  QString label;
  if (const db::Field* number = objects.FindField("Number")) label = number->AsString();
  if (const db::Field* name = objects.FindField("Name"); name && label.trimmed().isEmpty())
    label = name->AsString();
  return label;
}

// ---------------------------------------------------------------- the grid tables

int64_t GridCellNumber(double Offset, double CellSize) {
  // Far outside the grid a cell number is held at a bound that no stored cell reaches.
  const double c = std::trunc(Offset / CellSize) + 1;
  return std::isnan(c) ? 0 : int64_t(std::clamp(c, -4e18, 4e18));
}

TDBPointsIndexs::Cells TDBPointsIndexs::CellsOf(double X1, double Y1, double X2, double Y2) const {
  const auto column = [&](double x) { return GridCellNumber(x - XMin, CellWidth); };
  const auto row = [&](double y) { return GridCellNumber(y - YMin, CellHeight); };
  const int64_t c1 = column(X1), c2 = column(X2), r1 = row(Y1), r2 = row(Y2);
  return {std::min(c1, c2), std::max(c1, c2), std::min(r1, r2), std::max(r1, r2)};
}

std::vector<TDBPointsIndexs::GridRecord> TDBPointsIndexs::ReadGrid(db::Table& table) {
  // The cell column is the first field of the primary order, whatever its name.
  const size_t row = table.FieldByName("Nodej").FieldNo();
  const size_t category = table.FieldByName("Category").FieldNo();
  const size_t cls = table.FieldByName("Class").FieldNo();
  const size_t number = table.FieldByName("ObjNum").FieldNo();
  const size_t x = table.FieldByName("X").FieldNo(), y = table.FieldByName("Y").FieldNo();
  const size_t in = table.FieldByName("ScaleIn").FieldNo();
  const size_t out = table.FieldByName("ScaleOut").FieldNo();
  std::vector<GridRecord> records(size_t(table.RecordCount()));
  table.ReadColumns({0, row, category, cls, number, x, y, in, out},
                    [&](size_t i, const std::vector<db::Value>& v) {
                      GridRecord& r = records[i];
                      r.Column = db::ValueToInteger(v[0]);
                      r.Row = db::ValueToInteger(v[1]);
                      r.Category = int32_t(db::ValueToInteger(v[2]));
                      r.Class = int32_t(db::ValueToInteger(v[3]));
                      r.ObjNum = int32_t(db::ValueToInteger(v[4]));
                      r.X = db::ValueToFloat(v[5]);
                      r.Y = db::ValueToFloat(v[6]);
                      r.ScaleIn = db::ValueToFloat(v[7]);
                      r.ScaleOut = db::ValueToFloat(v[8]);
                    });
  // A keyed table is in this order already; the sort keeps the key order among equal cells.
  std::stable_sort(records.begin(), records.end(), [](const GridRecord& a, const GridRecord& b) {
    return a.Column != b.Column ? a.Column < b.Column : a.Row < b.Row;
  });
  return records;
}

const std::vector<TDBPointsIndexs::GridRecord>* TDBPointsIndexs::GridFor(int16_t Category,
                                                                         int32_t Class) {
  // Which table a class is searched in depends on the layers table and on the files of the
  // user-object directory; both are looked at again only when one of them changed.
  if (!CheckedInThisHold(OwnGridFilesCheckedInHold)) {
    const QString signature =
        db::FileSignature(ClassReestPath) + "|" + db::FileSignature(UserObjDir);
    if (signature != OwnGridFilesSignature) {
      OwnGridFiles.clear();
      OwnGridFilesSignature = signature;
    }
    OwnGridFilesCheckedInHold = HoldNumber;
  }
  const auto key = std::make_pair(int(Category), int(Class));
  auto known = OwnGridFiles.find(key);
  if (known == OwnGridFiles.end()) {
    const QString name = GetSpinTableName(Category, Class);
    const auto file = name.isEmpty() ? std::nullopt : base::FindPathIgnoreCase(UserObjDir, name);
    known = OwnGridFiles.emplace(key, file ? *file : QString()).first;
  }
  try {
    if (known->second.isEmpty()) {
      if (SharedGrid.Changes != SpinTable.ChangeCount()) {
        SharedGrid.Records = ReadGrid(SpinTable);
        SharedGrid.Changes = SpinTable.ChangeCount();
      }
      return &SharedGrid.Records;
    }
    GridRecords& own = OwnGrids[known->second];
    if (CheckedInThisHold(own.CheckedInHold)) return &own.Records;
    const QString fileSignature = db::FileSignature(known->second);
    own.CheckedInHold = HoldNumber;
    if (own.Signature != fileSignature || fileSignature.isEmpty()) {
      db::Table table;
      table.SetDatabaseName(UserObjDir);
      table.SetTableName(QFileInfo(known->second).fileName());
      table.Open();
      own.Records = ReadGrid(table);
      own.Signature = fileSignature;
    } // the per-class table is closed again here
    return &own.Records;
  } catch (const db::Error&) {
    ReportOpenFailure(UserObjDir,
                      known->second.isEmpty() ? kSpinTable : QFileInfo(known->second).fileName());
    OwnGrids.erase(known->second);
    return nullptr;
  }
}

std::vector<TDBPointsIndexs::TGridObject>
TDBPointsIndexs::SampleObjects(int16_t Category, int32_t Class, int Count, int& Total) {
  Total = -1;
  const std::vector<GridRecord>* grid = GridFor(Category, Class);
  if (!grid) return {};
  std::vector<const GridRecord*> ofClass;
  for (const GridRecord& r : *grid)
    if (r.Category == Category && r.Class == Class) ofClass.push_back(&r);
  Total = int(ofClass.size());
  std::vector<TGridObject> sample;
  const size_t taken = std::min(ofClass.size(), size_t(std::max(Count, 0)));
  for (size_t i = 0; i < taken; ++i) {
    const GridRecord& r = *ofClass[i * ofClass.size() / taken];
    sample.push_back({r.ObjNum, r.X, r.Y, r.Column, r.Row});
  }
  return sample;
}

template <class Visit>
void TDBPointsIndexs::WalkCells(const std::vector<GridRecord>& grid, const Cells& cells,
                                Visit visit) {
  // From one stored column to the next: a wide range of cells costs no more than the columns
  // the grid holds.
  int64_t column = cells.ColumnMin;
  while (column <= cells.ColumnMax) {
    auto it = std::lower_bound(grid.begin(), grid.end(), std::make_pair(column, cells.RowMin),
                               [](const GridRecord& r, const std::pair<int64_t, int64_t>& cell) {
                                 return r.Column != cell.first ? r.Column < cell.first
                                                               : r.Row < cell.second;
                               });
    for (; it != grid.end() && it->Column == column && it->Row <= cells.RowMax; ++it)
      visit(*it);
    it = std::upper_bound(it, grid.end(), column,
                          [](int64_t c, const GridRecord& r) { return c < r.Column; });
    if (it == grid.end()) break;
    column = it->Column;
  }
}

// ---------------------------------------------------------------- searches

void TDBPointsIndexs::PickBoxHalfSize(const TWorld& World, int& HalfWidth, int& HalfHeight) {
  int width = 10, height = 10;
  const int s = World.LengthToScreen(kNearRadius);
  if (s >= 8) {
    QImage scratch(1, 1, QImage::Format_RGB32);
    gfx::Canvas canvas(scratch);
    canvas.Font.Name = "Wingdings";
    canvas.Font.Size = s;
    canvas.Font.CharSet = 2;
    height = canvas.TextHeight("W");
    width = canvas.TextWidth("W");
  }
  HalfHeight = int(std::nearbyint(height / 2.0));
  HalfWidth = int(std::nearbyint(width / 2.0));
}

bool TDBPointsIndexs::FindObjectsAt(const TWorld& World, int16_t Category, double X, double Y,
                                    int32_t Class, int32_t& ObjectNumber, double& FoundX,
                                    double& FoundY) {
  ObjectNumber = -1;
  FoundX = FoundY = 0;
  if (CellWidth == 0 || CellHeight == 0) return false;
  int hw = 5, hh = 5;
  PickBoxHalfSize(World, hw, hh);
  const int sx = World.WorldToScreenX(X), sy = World.WorldToScreenY(Y);
  double wx1 = World.ScreenToWorldX(sx - hw), wx2 = World.ScreenToWorldX(sx + hw);
  double wy1 = World.ScreenToWorldY(sy + hh), wy2 = World.ScreenToWorldY(sy - hh);
  if (wx1 > wx2) std::swap(wx1, wx2);
  if (wy1 > wy2) std::swap(wy1, wy2);
  const std::vector<GridRecord>* grid = GridFor(Category, Class);
  if (!grid) return false;
  std::vector<GridRecord> found;
  const double scale = World.Scale;
  WalkCells(*grid, CellsOf(wx1, wy1, wx2, wy2), [&](const GridRecord& r) {
    if (r.Category != Category || r.Class != Class) return;
    if (r.ScaleIn != 0 && r.ScaleIn > scale) return;
    if (r.ScaleOut != 0 && r.ScaleOut < scale) return;
    if (TWorld::PointInRect(wx1, wy1, wx2, wy2, r.X, r.Y)) found.push_back(r);
  });
  if (found.empty()) return false;
  size_t chosen = 0;
  if (found.size() > 1 && ChooseObject) {
    // Copied first: the labels' look-ups may read the tables the records came from.
    QStringList labels;
    for (const GridRecord& r : found)
      labels << GetObjectLabel(int16_t(r.Category), r.Class, r.ObjNum);
    const int line = ChooseObject(labels);
    if (line < 0 || line >= int(found.size())) return false;
    chosen = size_t(line);
  }
  ObjectNumber = found[chosen].ObjNum;
  FoundX = found[chosen].X;
  FoundY = found[chosen].Y;
  return true;
}

bool TDBPointsIndexs::FindNearestInGrid(const TWorld&, int16_t Category, double X, double Y,
                                        int32_t Class, int32_t& ObjectNumber) {
  ObjectNumber = -1;
  if (CellWidth == 0 || CellHeight == 0) return false;
  const double x1 = X - kNearRadius, x2 = X + kNearRadius;
  const double y1 = Y - kNearRadius, y2 = Y + kNearRadius;
  const std::vector<GridRecord>* grid = GridFor(Category, Class);
  if (!grid) return false;
  double best = std::numeric_limits<double>::infinity();
  bool found = false;
  WalkCells(*grid, CellsOf(x1, y1, x2, y2), [&](const GridRecord& r) {
    if (r.Category != Category || r.Class != Class) return;
    if (!TWorld::PointInRect(x1, y1, x2, y2, r.X, r.Y)) return;
    const double d = TWorld::Distance(X, Y, r.X, r.Y);
    if (d < best) { // strictly nearer: among equal distances the first in key order stays
      best = d;
      ObjectNumber = r.ObjNum;
      found = true;
    }
  });
  return found;
}
