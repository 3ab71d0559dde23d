#pragma once
// One pipe network of an atlas as a graph: its pipes (the attribute rows of a geometry file's
// table, with the nodes at their two ends that the topology calculation wrote, HUB1CODE and
// HUB2CODE) and its nodes (the objects table of the network's node class, ObjectCode and
// NUMGROUP). Built once from the tables and asked many times; the labels of nodes and pipes
// and the lengths of pipes are read from the files when asked for.

#include "core/World.h"
#include "db/Table.h"

#include <QString>
#include <cstdint>
#include <memory>
#include <optional>
#include <unordered_map>
#include <vector>

namespace network {

// Where a network's tables are.
struct TNetworkSource {
  QString MapsDir;
  QString PipesTable; // "Water.dbf": its geometry file has the same name with ".mds"
  QString NodesTable; // "WaterWells.db"
  int Category = 100; // of the nodes
  int Class = 1;
};

// The atlas's two networks: pipes table, node category and class.
struct TNetworkKind {
  const char* PipesTable;
  int Category;
  int Class;
  const char* Name;
};
inline constexpr TNetworkKind kWaterNetwork{"Water.dbf", 100, 1, "водопровідна мережа"};
inline constexpr TNetworkKind kSewerNetwork{"Kanaliz.dbf", 100, 2, "каналізаційна мережа"};

// The file of the layers table's row for a layer; nullopt when there is no such row.
std::optional<QString> FindLayerFile(const QString& baseDir, int category, int cls);

// Where the network's tables are: its nodes are the objects table the layers table names for
// the node class. Raises db::Error when the layers table has no such row.
TNetworkSource SourceOf(const QString& baseDir, const QString& mapsDir, const TNetworkKind& kind);

class TNetworkGraph {
public:
  struct Pipe {
    int64_t Code = 0;          // OBJECTCODE
    int64_t Hub[2] = {-1, -1}; // the nodes' ObjectCode at the first and the last vertex; -1 none
    int Record = -1;           // the geometry record (the map layer's object)
  };
  struct Node {
    int64_t Code = 0; // ObjectCode
    int Group = 0;    // NUMGROUP
    int Row = -1;     // position in the nodes table
  };

  // Reads both tables; raises db::Error naming a missing table or field.
  static std::unique_ptr<TNetworkGraph> Load(const TNetworkSource& source);

  const TNetworkSource& Source() const { return From; }
  const std::vector<Pipe>& Pipes() const { return PipeList; }
  const std::vector<Node>& Nodes() const { return NodeList; }
  // The pipes at a node (indexes into Pipes()).
  const std::vector<int>& PipesAt(int node) const { return PipesAtNode[size_t(node)]; }
  // Indexes from codes; -1 when there is none.
  int NodeOfCode(int64_t code) const;
  int PipeOfCode(int64_t code) const;
  // Whether the topology was ever calculated: some pipe names a node at an end (a table whose
  // every pipe has 0 or nothing at both ends has never been through the calculation).
  bool HasTopology() const { return TopologyKnown; }

  // Texts for people: a node's name and address, a pipe's street and size.
  QString NodeLabel(int node) const;
  QString NodeAddress(int node) const;
  QString PipeLabel(int pipe) const;
  // The pipe's length along its geometry record, in map units (0 for a record without one).
  double PipeLength(int pipe) const;
  // A field of a pipe's or a node's row as text, trimmed; empty when the table has no such field.
  QString PipeText(int pipe, const char* field) const;
  QString NodeText(int node, const char* field) const;
  // The pipe's vertices, all parts one after another (empty for a record without any).
  std::vector<TWorldPoint> PipePath(int pipe) const;
  // Every pipe's vertices, in the order of Pipes(), read in one walk over the geometry file.
  std::vector<std::vector<TWorldPoint>> PipePaths() const;
  // Every pipe's length (PipeLength), read in one walk.
  std::vector<double> PipeLengths() const;
  // The place of the pipe's first (end 0) or last (end 1) vertex; false without a geometry.
  bool PipeEnd(int pipe, int end, TWorldPoint& at) const;
  // Every node's place, in the order of Nodes(), read in one walk over the table (NaN for a
  // node without one).
  std::vector<TWorldPoint> NodePlaces() const;
  // Fields of every pipe's row as text, trimmed, in the order of Pipes(), read in one walk;
  // a field the table does not have gives empty texts.
  std::vector<std::vector<QString>> PipeTexts(const std::vector<const char*>& fields) const;
  // The node's place.
  bool NodePlace(int node, double& x, double& y) const;

private:
  QString GeometryPath() const; // the pipes' geometry file
  // Calls take(pipe, file, parts) for every pipe's geometry record, in file order.
  template <typename Take> void ForEachPipeRecord(Take take) const;

  TNetworkSource From;
  std::vector<Pipe> PipeList;
  std::vector<Node> NodeList;
  std::vector<std::vector<int>> PipesAtNode;
  std::unordered_map<int64_t, int> NodeIndex, PipeIndex;
  bool TopologyKnown = false;
  // Kept open for labels, read on demand.
  std::unique_ptr<db::Table> PipeRows, NodeRows;
  std::vector<int> PipeRowOf; // position in the pipes table of each pipe
};

} // namespace network
