#pragma once
// Writes the grid tables of the object index from the object tables of the atlas: one grid
// record per object of every database points layer of the network nodes' category (100) or
// marked as indexed, in the class's own grid table where the user-object directory has one
// ("spin" + layer file base name + ".db"), else in the shared `SPIN.DB`, whose first record
// holds the cell size. Each table is written whole and put in place in one step, so a failure
// leaves the old table as it was.

#include "core/World.h"
#include "db/FieldDef.h"

#include <QString>
#include <QStringList>

struct TIndexBuildResult {
  QStringList Tables; // "SPIN.DB: 718 records", one line per table written
  int Objects = 0;
  int Kept = 0; // records of classes not rebuilt, kept in their tables
};

// The fields of a grid table: the cell column and row (the primary key's first two fields, then
// Category, Class, ObjNum), the object's X and Y, and its scale window.
std::vector<db::FieldDef> GridTableFields();

// The cell size of a new index, in map units.
inline constexpr double kDefaultGridCell = 250.0;

// Raises db::Error naming the table or field that could not be read or written. The cell size
// of an existing `SPIN.DB` (width and height) is kept, and so are the records of the classes not
// rebuilt; `Extent` is the map's whole extent (the grid's origin).
TIndexBuildResult BuildObjectIndex(const QString& BaseDir, const QString& MapsDir,
                                   const QString& UserObjDir, const TExtent& Extent);
