#include "NetworkGraph.h"
#include "TableColumns.h"

#include "base/PathResolver.h"
#include "db/Error.h"
#include "layers/GeometryFile.h"
#include "layers/RecordIndex.h"

#include <QFileInfo>
#include <cmath>
#include <limits>

namespace network {

namespace {

int64_t HubOf(const db::Value& v) {
  return db::IsNull(v) ? -1 : db::ValueToInteger(v);
}

} // namespace

std::optional<QString> FindLayerFile(const QString& baseDir, int category, int cls) {
  db::Table layers(baseDir, "ClassReest");
  layers.Open();
  for (layers.First(); !layers.Eof(); layers.Next())
    if (layers.FieldByName("Category").AsInteger() == category &&
        layers.FieldByName("Class").AsInteger() == cls)
      return layers.FieldByName("FileName").AsString();
  return std::nullopt;
}

TNetworkSource SourceOf(const QString& baseDir, const QString& mapsDir, const TNetworkKind& kind) {
  if (const auto nodes = FindLayerFile(baseDir, kind.Category, kind.Class))
    return {mapsDir, kind.PipesTable, *nodes, kind.Category, kind.Class};
  throw db::Error::ForTable(baseDir + "/ClassReest",
                            QString::fromUtf8("немає шару вузлів (категорія %1, клас %2) для %3")
                                .arg(kind.Category)
                                .arg(kind.Class)
                                .arg(kind.PipesTable));
}

std::unique_ptr<TNetworkGraph> TNetworkGraph::Load(const TNetworkSource& source) {
  auto g = std::make_unique<TNetworkGraph>();
  g->From = source;
  g->PipeRows = std::make_unique<db::Table>(source.MapsDir, source.PipesTable);
  g->PipeRows->Open();
  g->NodeRows = std::make_unique<db::Table>(source.MapsDir, source.NodesTable);
  g->NodeRows->Open();
  const db::Table& pipes = *g->PipeRows;
  const db::Table& nodes = *g->NodeRows;

  // The nodes of the network's class.
  const size_t category = Column(nodes, "Category"), cls = Column(nodes, "Class"),
               code = Column(nodes, "ObjectCode"), group = Column(nodes, "NUMGROUP");
  nodes.ReadColumns({category, cls, code, group}, [&](size_t row, const std::vector<db::Value>& v) {
    if (db::ValueToInteger(v[0]) != source.Category || db::ValueToInteger(v[1]) != source.Class ||
        db::IsNull(v[2]))
      return;
    const int64_t c = db::ValueToInteger(v[2]);
    if (g->NodeIndex.count(c)) return; // a duplicate number: the first counts
    g->NodeIndex[c] = int(g->NodeList.size());
    g->NodeList.push_back({c, int(db::ValueToInteger(v[3])), int(row)});
  });
  g->PipesAtNode.resize(g->NodeList.size());

  // The pipes, each joined to the nodes at its ends.
  const size_t pipeCode = Column(pipes, "OBJECTCODE"), hub1 = Column(pipes, "HUB1CODE"),
               hub2 = Column(pipes, "HUB2CODE");
  bool anyEnd = false;
  pipes.ReadColumns({pipeCode, hub1, hub2}, [&](size_t row, const std::vector<db::Value>& v) {
    Pipe p;
    p.Code = db::IsNull(v[0]) ? -1 : db::ValueToInteger(v[0]);
    p.Hub[0] = HubOf(v[1]);
    p.Hub[1] = HubOf(v[2]);
    p.Record = pipes.RecordOfPosition(int(row));
    anyEnd = anyEnd || (p.Hub[0] != 0 && !db::IsNull(v[1])) || (p.Hub[1] != 0 && !db::IsNull(v[2]));
    if (!g->PipeIndex.count(p.Code)) g->PipeIndex[p.Code] = int(g->PipeList.size());
    g->PipeRowOf.push_back(int(row));
    g->PipeList.push_back(p);
  });
  g->TopologyKnown = anyEnd;
  for (size_t i = 0; i < g->PipeList.size(); ++i) {
    const Pipe& p = g->PipeList[i];
    for (int end = 0; end < 2; ++end) {
      const int node = g->NodeOfCode(p.Hub[end]);
      // A pipe whose two ends are one node is listed once at it.
      if (node >= 0 && (end == 0 || p.Hub[1] != p.Hub[0]))
        g->PipesAtNode[size_t(node)].push_back(int(i));
    }
  }
  return g;
}

int TNetworkGraph::NodeOfCode(int64_t code) const {
  if (code < 0) return -1;
  const auto found = NodeIndex.find(code);
  return found == NodeIndex.end() ? -1 : found->second;
}

int TNetworkGraph::PipeOfCode(int64_t code) const {
  const auto found = PipeIndex.find(code);
  return found == PipeIndex.end() ? -1 : found->second;
}

QString TNetworkGraph::NodeAddress(int node) const {
  const int row = NodeList[size_t(node)].Row;
  const QString street =
      (Text(*NodeRows, row, "TYPE") + " " + Text(*NodeRows, row, "STREET")).trimmed();
  const QString number = Text(*NodeRows, row, "NUMBER");
  return number.isEmpty() ? street : street + ", " + number;
}

QString TNetworkGraph::NodeLabel(int node) const {
  const QString name = Text(*NodeRows, NodeList[size_t(node)].Row, "NAME");
  const QString address = NodeAddress(node);
  if (name.isEmpty()) return address;
  return address.isEmpty() ? name : name + ", " + address;
}

QString TNetworkGraph::PipeLabel(int pipe) const {
  const int row = PipeRowOf[size_t(pipe)];
  const QString street = Text(*PipeRows, row, "STREET");
  const QString diameter = Text(*PipeRows, row, "DIAMETER");
  QString label = street;
  if (!diameter.isEmpty()) label += QString::fromUtf8(" Ø%1").arg(diameter);
  return label.trimmed();
}

namespace {

// Calls take(file, parts) with the geometry record of a pipe; false when it has none.
template <typename Take> bool ReadPipeRecord(const QString& file, int record, Take take) {
  if (record < 0) return false;
  TGeometryFile geometry(file);
  TGeometryFile::Record r;
  if (!TRecordIndex::For(file)->Seek(record, r) || !r.HasBox ||
      !TGeometryFile::HasParts(r.ShapeType))
    return false;
  take(geometry, geometry.ReadParts(r));
  return true;
}

// Parts are separate lines: no length between one part's end and the next one's start.
double LengthOfParts(const TGeometryFile& file, const TGeometryFile::Parts& parts) {
  double length = 0;
  for (int part = 0; part < parts.NumParts; ++part)
    for (int k = parts.Starts[size_t(part)] + 1; k < parts.Starts[size_t(part) + 1]; ++k) {
      const TWorldPoint a = file.PointAt(parts, k - 1), b = file.PointAt(parts, k);
      length += std::hypot(b.X - a.X, b.Y - a.Y);
    }
  return length;
}

} // namespace

QString TNetworkGraph::GeometryPath() const {
  return base::ResolvePath(From.MapsDir,
                           QFileInfo(PipeRows->TableName()).completeBaseName() + ".mds");
}

std::vector<TWorldPoint> TNetworkGraph::PipePath(int pipe) const {
  std::vector<TWorldPoint> path;
  ReadPipeRecord(GeometryPath(), PipeList[size_t(pipe)].Record,
                 [&](const TGeometryFile& file, const TGeometryFile::Parts& parts) {
                   for (int k = 0; k < parts.NumPoints; ++k)
                     path.push_back(file.PointAt(parts, k));
                 });
  return path;
}

template <typename Take> void TNetworkGraph::ForEachPipeRecord(Take take) const {
  std::unordered_map<int, int> pipeOfRecord;
  for (size_t i = 0; i < PipeList.size(); ++i)
    if (PipeList[i].Record >= 0) pipeOfRecord.emplace(PipeList[i].Record, int(i));
  TGeometryFile geometry(GeometryPath());
  TGeometryFile::Record r;
  while (geometry.Next(r)) {
    const auto pipe = pipeOfRecord.find(r.Index);
    if (pipe == pipeOfRecord.end() || !r.HasBox || !TGeometryFile::HasParts(r.ShapeType)) continue;
    take(pipe->second, geometry, geometry.ReadParts(r));
  }
}

std::vector<std::vector<TWorldPoint>> TNetworkGraph::PipePaths() const {
  std::vector<std::vector<TWorldPoint>> paths(PipeList.size());
  ForEachPipeRecord([&](int pipe, const TGeometryFile& file, const TGeometryFile::Parts& parts) {
    auto& path = paths[size_t(pipe)];
    for (int k = 0; k < parts.NumPoints; ++k)
      path.push_back(file.PointAt(parts, k));
  });
  return paths;
}

std::vector<double> TNetworkGraph::PipeLengths() const {
  std::vector<double> lengths(PipeList.size(), 0.0);
  ForEachPipeRecord([&](int pipe, const TGeometryFile& file, const TGeometryFile::Parts& parts) {
    lengths[size_t(pipe)] = LengthOfParts(file, parts);
  });
  return lengths;
}

std::vector<TWorldPoint> TNetworkGraph::NodePlaces() const {
  constexpr double kNone = std::numeric_limits<double>::quiet_NaN();
  std::vector<TWorldPoint> places(NodeList.size(), {kNone, kNone});
  const auto cx = OptionalColumn(*NodeRows, "X"), cy = OptionalColumn(*NodeRows, "Y");
  if (!cx || !cy) return places;
  std::unordered_map<int, size_t> nodeOfRow;
  for (size_t n = 0; n < NodeList.size(); ++n)
    nodeOfRow.emplace(NodeList[n].Row, n);
  NodeRows->ReadColumns({*cx, *cy}, [&](size_t row, const std::vector<db::Value>& v) {
    const auto node = nodeOfRow.find(int(row));
    if (node != nodeOfRow.end())
      places[node->second] = {db::ValueToFloat(v[0]), db::ValueToFloat(v[1])};
  });
  return places;
}

std::vector<std::vector<QString>>
TNetworkGraph::PipeTexts(const std::vector<const char*>& fields) const {
  std::vector<std::vector<QString>> texts(PipeList.size(), std::vector<QString>(fields.size()));
  std::vector<size_t> columns;
  std::vector<size_t> fieldOf; // which of `fields` each column read fills
  for (size_t f = 0; f < fields.size(); ++f)
    if (const auto column = OptionalColumn(*PipeRows, fields[f])) {
      columns.push_back(*column);
      fieldOf.push_back(f);
    }
  if (columns.empty()) return texts;
  std::unordered_map<int, size_t> pipeOfRow;
  for (size_t p = 0; p < PipeList.size(); ++p)
    pipeOfRow.emplace(PipeRowOf[p], p);
  PipeRows->ReadColumns(columns, [&](size_t row, const std::vector<db::Value>& v) {
    const auto pipe = pipeOfRow.find(int(row));
    if (pipe == pipeOfRow.end()) return;
    for (size_t k = 0; k < columns.size(); ++k)
      texts[pipe->second][fieldOf[k]] = db::ValueToString(v[k]).trimmed();
  });
  return texts;
}

QString TNetworkGraph::PipeText(int pipe, const char* field) const {
  return Text(*PipeRows, PipeRowOf[size_t(pipe)], field);
}

QString TNetworkGraph::NodeText(int node, const char* field) const {
  return Text(*NodeRows, NodeList[size_t(node)].Row, field);
}

bool TNetworkGraph::PipeEnd(int pipe, int end, TWorldPoint& at) const {
  const std::vector<TWorldPoint> path = PipePath(pipe);
  if (path.empty()) return false;
  at = end == 0 ? path.front() : path.back();
  return true;
}

double TNetworkGraph::PipeLength(int pipe) const {
  double length = 0;
  ReadPipeRecord(GeometryPath(), PipeList[size_t(pipe)].Record,
                 [&](const TGeometryFile& file, const TGeometryFile::Parts& parts) {
                   length = LengthOfParts(file, parts);
                 });
  return length;
}

bool TNetworkGraph::NodePlace(int node, double& x, double& y) const {
  const auto cx = OptionalColumn(*NodeRows, "X"), cy = OptionalColumn(*NodeRows, "Y");
  if (!cx || !cy) return false;
  const int row = NodeList[size_t(node)].Row;
  x = db::ValueToFloat(NodeRows->ValueAt(row, *cx));
  y = db::ValueToFloat(NodeRows->ValueAt(row, *cy));
  return true;
}

} // namespace network
