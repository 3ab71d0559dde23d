#pragma once
// The buildings of an atlas for the question "which building does this pipe end serve": the
// outlines of the buildings layer with each building's number and address, read once from the
// layer's geometry file and table. A building's address is the one of an address point inside
// its outline where the address layer has one, else its own row's (type, street and number).

#include "NetworkGraph.h"
#include "NetworkSettings.h"

#include "core/World.h"

#include <QString>
#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

namespace network {

class TBuildings {
public:
  struct Building {
    int Record = -1;  // the geometry record (the map layer's object)
    int64_t Code = 0; // OBJECTCODE, else the record number from 1
    QString Address;
    double XMin = 0, YMin = 0, XMax = 0, YMax = 0;
    std::vector<std::vector<TWorldPoint>> Rings;
  };

  // Reads the layers the settings name; raises db::Error or base::FileError naming the table or
  // file, std::runtime_error when the settings name no buildings layer or it is not in the
  // layers table.
  static std::unique_ptr<TBuildings> Load(const QString& baseDir, const QString& mapsDir,
                                          const TNetworkSettings& settings);

  const std::vector<Building>& All() const { return List; }
  QString LayerFile() const { return GeometryName; }
  // The building whose outline holds the point, else the nearest one whose outline is within
  // the tolerance; -1 when there is none.
  int BuildingAt(const TWorldPoint& p) const;

private:
  void ReadOutlines(const QString& path);
  void ReadRows(const QString& mapsDir, const QString& table);
  void ReadAddressPoints(const QString& mapsDir, const QString& geometryName);
  // Buildings by square cells of kCell map units, each listed in every cell its box touches: a
  // city's worth of address points finds its buildings without a walk over all of them.
  static constexpr double kCell = 100;
  static int64_t CellKey(int64_t cx, int64_t cy) { return cx * 4'000'037 + cy; }
  void IndexCells();
  template <typename Visit> void ForEachNear(const TWorldPoint& p, double reach, Visit visit) const;

  std::unordered_map<int64_t, std::vector<int>> Cells;

  std::vector<Building> List;
  QString GeometryName;
  double Tolerance = 0;
};

} // namespace network
