#include "NetworkTopology.h"

#include "base/PathResolver.h"
#include "db/Table.h"
#include "layers/GeometryFile.h"
#include "overlays/DBPointsIndexs.h"

#include <QFileInfo>

namespace {

bool IsPolyline(int32_t shapeType) {
  return shapeType == 3 || shapeType == 13 || shapeType == 23;
}

// The first and last vertex of a pipe record; a reason when the record has no line to give.
QString PipeEnds(const TGeometryFile& file, const TGeometryFile::Record& r, TWorldPoint& first,
                 TWorldPoint& last) {
  if (r.ShapeType == 0) return "a null shape";
  if (!IsPolyline(r.ShapeType)) return QString("shape type %1, not a polyline").arg(r.ShapeType);
  const TGeometryFile::Parts parts = file.ReadParts(r);
  if (parts.NumPoints < 1) return "no points";
  first = file.PointAt(parts, 0);
  last = file.PointAt(parts, parts.NumPoints - 1); // a one-point pipe: the same point again
  return QString();
}

} // namespace

TNetworkHubsResult CalcNetworkHubs(TDBPointsIndexs& Index, const TWorld& World,
                                   const QString& MapsDir, const QString& TableName,
                                   int16_t Category, int32_t Class,
                                   const TTopologyProgress& Progress) {
  TNetworkHubsResult result;
  db::Table table(MapsDir, TableName);
  table.Open();
  db::Field& hub1 = table.FieldByName("HUB1CODE");
  db::Field& hub2 = table.FieldByName("HUB2CODE");
  const QString geometryName = QFileInfo(TableName).completeBaseName() + ".mds";
  TGeometryFile file(base::ResolvePath(MapsDir, geometryName));
  const int total = table.RecordCount();
  bool recordsLeft = true;
  for (table.First(); !table.Eof(); table.Next()) {
    TGeometryFile::Record r;
    TWorldPoint first{}, last{};
    QString missing = "no geometry record";
    if (recordsLeft && (recordsLeft = file.Next(r))) missing = PipeEnds(file, r, first, last);
    int32_t node1 = -1, node2 = -1;
    if (missing.isEmpty()) {
      Index.FindNearestInGrid(World, Category, first.X, first.Y, Class, node1);
      Index.FindNearestInGrid(World, Category, last.X, last.Y, Class, node2);
    } else {
      result.RowsWithoutLine << QString("row %1: %2").arg(table.RecNo()).arg(missing);
    }
    table.Edit();
    hub1.SetAsInteger(node1);
    hub2.SetAsInteger(node2);
    table.Post();
    ++result.Pipes;
    result.EndsJoined += (node1 != -1) + (node2 != -1);
    result.EndsNotJoined += (node1 == -1) + (node2 == -1);
    if (Progress && !Progress(result.Pipes, total)) {
      result.Cancelled = true;
      break;
    }
  }
  return result;
}
