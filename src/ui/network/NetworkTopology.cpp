#include "NetworkTopology.h"

#include "base/PathResolver.h"
#include "db/Error.h"
#include "db/Table.h"
#include "layers/GeometryFile.h"
#include "overlays/DBPointsIndexs.h"

#include <QFileInfo>
#include <cmath>
#include <map>

namespace {

bool IsPolyline(int32_t shapeType) {
  return shapeType == 3 || shapeType == 13 || shapeType == 23;
}

// The first and last vertex of a pipe record; a reason when the record has no line to give.
QString PipeEnds(const TGeometryFile& file, const TGeometryFile::Record& r, TWorldPoint& first,
                 TWorldPoint& last) {
  if (r.ShapeType == 0) return "порожня фігура";
  if (!IsPolyline(r.ShapeType)) return QString("тип фігури %1, не ламана").arg(r.ShapeType);
  const TGeometryFile::Parts parts = file.ReadParts(r);
  if (parts.NumPoints < 1) return "немає точок";
  for (int k = 0; k < parts.NumPoints; ++k) {
    const TWorldPoint p = file.PointAt(parts, k);
    if (!std::isfinite(p.X) || !std::isfinite(p.Y))
      return QString("запис геометрії %1: вершина %2 має нечислову координату")
          .arg(r.Index + 1)
          .arg(k + 1);
  }
  first = file.PointAt(parts, 0);
  last = file.PointAt(parts, parts.NumPoints - 1); // a one-point pipe: the same point again
  return QString();
}

// How far an indexed node may lie from its place in the objects table, in map units.
constexpr double kPlaceTolerance = 0.01;
// How many grid records of each network are compared with the objects tables.
constexpr int kSampleSize = 64;

struct NodeLayer {
  QString FileName; // the objects table in MapsDir; empty when the layers table has no row
};

NodeLayer FindNodeLayer(const QString& baseDir, int16_t category, int32_t cls) {
  db::Table layers(baseDir, "ClassReest");
  layers.Open();
  for (layers.First(); !layers.Eof(); layers.Next())
    if (layers.FieldByName("Category").AsInteger() == category &&
        layers.FieldByName("Class").AsInteger() == cls)
      return {layers.FieldByName("FileName").AsString()};
  return {};
}

QString Place(double x, double y) {
  return QString("(%1; %2)").arg(x, 0, 'f', 2).arg(y, 0, 'f', 2);
}

// The sampled grid records of one network against its objects table.
QString NetworkIndexProblem(TDBPointsIndexs& index, const QString& baseDir, const QString& mapsDir,
                            const TNetworkTable& network) {
  int total = 0;
  const std::vector<TDBPointsIndexs::TGridObject> sample =
      index.SampleObjects(network.Category, network.Class, kSampleSize, total);
  const QString of = QString::fromUtf8("вузли класу %1 (%2)")
                         .arg(network.Class)
                         .arg(QString::fromUtf8(network.TableName));
  if (total < 0) return of + QString::fromUtf8(": таблицю індексу не прочитано");
  const NodeLayer layer = FindNodeLayer(baseDir, network.Category, network.Class);
  if (layer.FileName.isEmpty()) {
    if (total == 0) return {}; // no nodes in the atlas, none in the index
    return of + QString::fromUtf8(": в індексі %1 вузлів, а в таблиці шарів немає шару категорії "
                                  "%2, класу %3")
                    .arg(total)
                    .arg(network.Category)
                    .arg(network.Class);
  }
  db::Table objects(mapsDir, layer.FileName);
  objects.Open();
  const db::Field* category = objects.FindField("Category");
  const db::Field* cls = objects.FindField("Class");
  const size_t code = objects.FieldByName("ObjectCode").FieldNo();
  const size_t x = objects.FieldByName("X").FieldNo(), y = objects.FieldByName("Y").FieldNo();
  std::map<int64_t, std::pair<double, double>> places; // of the sampled nodes, by number
  for (const auto& s : sample)
    places.emplace(s.ObjNum, std::make_pair(NAN, NAN));
  int atlasNodes = 0;
  for (int i = 0; i < objects.RecordCount(); ++i) {
    if ((category &&
         db::ValueToInteger(objects.ValueAt(i, category->FieldNo())) != network.Category) ||
        (cls && db::ValueToInteger(objects.ValueAt(i, cls->FieldNo())) != network.Class))
      continue;
    ++atlasNodes;
    const auto place = places.find(db::ValueToInteger(objects.ValueAt(i, code)));
    if (place != places.end() && std::isnan(place->second.first))
      place->second = {db::ValueToFloat(objects.ValueAt(i, x)),
                       db::ValueToFloat(objects.ValueAt(i, y))};
  }
  if (total == 0 && atlasNodes > 0)
    return of + QString::fromUtf8(": в індексі жодного, а в %1 їх %2")
                    .arg(layer.FileName)
                    .arg(atlasNodes);
  for (const auto& s : sample) {
    const auto& [px, py] = places[s.ObjNum];
    if (std::isnan(px))
      return of +
             QString::fromUtf8(": вузла %1 з індексу немає в %2").arg(s.ObjNum).arg(layer.FileName);
    if (std::abs(px - s.X) > kPlaceTolerance || std::abs(py - s.Y) > kPlaceTolerance)
      return of + QString::fromUtf8(": вузол %1 в індексі стоїть у %2, а в %3 — у %4")
                      .arg(s.ObjNum)
                      .arg(Place(s.X, s.Y), layer.FileName, Place(px, py));
    const int64_t column = GridCellNumber(s.X - index.XMin, index.CellWidth);
    const int64_t row = GridCellNumber(s.Y - index.YMin, index.CellHeight);
    if (column != s.Column || row != s.Row)
      return of + QString::fromUtf8(": вузол %1 записано в клітинку (%2, %3), а сітка цієї "
                                    "карти дає йому (%4, %5)")
                      .arg(s.ObjNum)
                      .arg(s.Column)
                      .arg(s.Row)
                      .arg(column)
                      .arg(row);
  }
  return {};
}

} // namespace

QString TopologyIndexProblem(TDBPointsIndexs& Index, const QString& BaseDir,
                             const QString& MapsDir) {
  const QString spin = Index.UserObjDir + "/SPIN.DB";
  if (!Index.SpinTable.Active())
    return QString::fromUtf8("таблицю індексу %1 не відкрито").arg(spin);
  if (!(Index.CellWidth > 0 && Index.CellHeight > 0))
    return QString::fromUtf8("у %1 немає заголовка сітки (розміру клітинки)").arg(spin);
  try {
    for (const TNetworkTable& network : kNetworkTables)
      if (QString problem = NetworkIndexProblem(Index, BaseDir, MapsDir, network);
          !problem.isEmpty())
        return problem;
  } catch (const db::Error& e) {
    return e.Message;
  }
  return {};
}

// Rows of pipes computed before they are written together.
constexpr size_t kRowsWrittenAtOnce = 4096;

TNetworkHubsResult CalcNetworkHubs(TDBPointsIndexs& Index, const TWorld& World,
                                   const QString& MapsDir, const QString& TableName,
                                   int16_t Category, int32_t Class,
                                   const TTopologyProgress& Progress) {
  TNetworkHubsResult result;
  const TDBPointsIndexs::THeldFiles held(Index);
  db::Table table(MapsDir, TableName);
  table.Open();
  const std::vector<size_t> hubFields = {table.FieldByName("HUB1CODE").FieldNo(),
                                         table.FieldByName("HUB2CODE").FieldNo()};
  // The rows are written a few thousand at a time, each whole: a cancel or a failure leaves
  // every row either as it was or with both its ends.
  std::vector<int> positions;
  std::vector<std::vector<db::Value>> ends;
  const auto write = [&] {
    table.Writes().UpdateFields(positions, hubFields, ends);
    positions.clear();
    ends.clear();
  };
  const QString geometryName = QFileInfo(TableName).completeBaseName() + ".mds";
  TGeometryFile file(base::ResolvePath(MapsDir, geometryName));
  const int total = table.RecordCount();
  bool recordsLeft = true;
  TGeometryFile::Record r;
  for (table.First(); !table.Eof(); table.Next()) {
    // A pipe is the geometry record of its row's own number: records whose rows were deleted
    // are passed over (and reported), never paired with the rows after them.
    const int record = table.RecordOfPosition(table.RecNo() - 1);
    while (recordsLeft && r.Index < record) {
      recordsLeft = file.Next(r);
      if (recordsLeft && r.Index < record) result.RecordsWithoutRow << QString::number(r.Index + 1);
    }
    TWorldPoint first{}, last{};
    QString missing = "немає запису геометрії";
    if (recordsLeft && r.Index == record) missing = PipeEnds(file, r, first, last);
    int32_t node1 = -1, node2 = -1;
    if (missing.isEmpty()) {
      Index.FindNearestInGrid(World, Category, first.X, first.Y, Class, node1);
      Index.FindNearestInGrid(World, Category, last.X, last.Y, Class, node2);
    } else {
      result.RowsWithoutLine << QString("рядок %1: %2").arg(table.RecNo()).arg(missing);
    }
    if (missing.contains("нечислову")) {
      // A damaged line is named and its row left as it was: its ends cannot be told.
      result.RowsWithoutLine.last() += "; рядок лишено як був";
      ++result.Pipes;
      continue;
    }
    positions.push_back(table.RecNo() - 1);
    ends.push_back({int64_t(node1), int64_t(node2)});
    if (positions.size() == kRowsWrittenAtOnce) write();
    ++result.Pipes;
    result.EndsJoined += (node1 != -1) + (node2 != -1);
    result.EndsNotJoined += (node1 == -1) + (node2 == -1);
    if (Progress && !Progress(result.Pipes, total)) {
      write();
      result.Cancelled = true;
      return result;
    }
  }
  write();
  // Records after the last row's: deleted rows at the table's end, or lines without a row.
  while (recordsLeft && (recordsLeft = file.Next(r)))
    result.RecordsWithoutRow << QString::number(r.Index + 1);
  return result;
}
