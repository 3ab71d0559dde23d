#pragma once
// What the map control needs of the object index: the object of an indexed layer under the
// pointer. The grid index of the overlays library implements it; the main window tells the
// control how to make one for each loaded map.

#include "World.h"

#include <QString>
#include <cstdint>
#include <functional>
#include <memory>

class IMapObjectIndex {
public:
  virtual ~IMapObjectIndex() = default;
  // The object of (Category, Class) under the pick box around the world point (X, Y), with a
  // choice for the user when several lie there: its number and world point; false when none
  // (or none was chosen).
  virtual bool FindObjectsAt(const TWorld& World, int16_t Category, double X, double Y,
                             int32_t Class, int32_t& ObjectNumber, double& FoundX,
                             double& FoundY) = 0;
};

// Makes the index of a loaded map from its maps and base directories, the program's directory
// and the map's whole extent.
using TMapObjectIndexFactory = std::function<std::unique_ptr<IMapObjectIndex>(
    const QString& MapsDir, const QString& BaseDir, const QString& AppDir, const TExtent& Extent)>;
