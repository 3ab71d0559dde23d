#pragma once
// The topological model of the two pipe networks: for every pipe, the numbers of the network
// nodes at its first and at its last vertex, written into its attribute row (`HUB1CODE`,
// `HUB2CODE`; -1 where no node lies within 10 map units).

#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>

class TDBPointsIndexs;
class TWorld;

// What one network's calculation did.
struct TNetworkHubsResult {
  int Pipes = 0;         // rows written
  int EndsJoined = 0;    // ends that found their node
  int EndsNotJoined = 0; // ends written -1
  // Rows without a usable geometry record (none left, a null shape, another shape type or no
  // points): written -1 at both ends. "row N: reason", rows counted from 1.
  QStringList RowsWithoutLine;
  // Geometry records without an attribute row (deleted, or past the table's end): left alone.
  // Record numbers from 1.
  QStringList RecordsWithoutRow;
  bool Cancelled = false;
};

// Called after every pipe with the pipes done and the pipes in all; false stops the walk there
// (the rows written keep their values).
using TTopologyProgress = std::function<bool(int Done, int Total)>;

// Writes the node numbers into every row of `TableName` in `MapsDir`, reading the pipes from the
// geometry file of the same name with the extension ".mds" (rows and records in the same order)
// and the nodes of (`Category`, `Class`) from the index. Raises db::Error or base::FileError for
// a missing table, field or geometry file and for a corrupt record; rows written before keep
// their values.
TNetworkHubsResult CalcNetworkHubs(TDBPointsIndexs& Index, const TWorld& World,
                                   const QString& MapsDir, const QString& TableName,
                                   int16_t Category, int32_t Class,
                                   const TTopologyProgress& Progress = {});

// The two networks of the atlas, in the order they are calculated.
struct TNetworkTable {
  const char* TableName;
  int16_t Category;
  int32_t Class;
};
inline constexpr TNetworkTable kNetworkTables[] = {{"Water.dbf", 100, 1}, {"Kanaliz.dbf", 100, 2}};

// Why the index cannot give the nodes of this atlas's networks, or empty when it can: no
// SPIN.DB, no grid header, no nodes of a network that the atlas has, or sampled grid records
// whose nodes the atlas's objects tables put elsewhere, or that are filed under another cell
// than this map's grid gives them. Checked before any pipe row is written, so that an index of
// another atlas never overwrites a computed model.
QString TopologyIndexProblem(TDBPointsIndexs& Index, const QString& BaseDir,
                             const QString& MapsDir);
