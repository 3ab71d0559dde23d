#pragma once
// The whole atlas as a GeoPackage (through GDAL/OGR): every layer of the layers table as a
// table of its own with its geometry and every field of its attribute or objects table, typed,
// texts in UTF-8. Geometry files give their shapes (points, lines, areas with their holes);
// points kept in a table give points at their X and Y. The coordinate system is the one given,
// or a local one of metres on a plane (the atlas records none). The file is written under a
// temporary name and put in place only when whole: a cancelled or failed export leaves no file
// behind, and an earlier file of that name stays as it was.

#include "core/MapContent.h"

#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>

class TDistationLayer;

struct TGeoPackageOptions {
  QString Crs; // "EPSG:N", or empty for the atlas's local plane in metres
  // Called after each layer with the layers done and all; false cancels.
  std::function<bool(int done, int total)> Progress;
  // The measurements to write as two more tables (distances, areas), when asked for.
  const TDistationLayer* Measurements = nullptr;
  bool Labels = true; // false: the project's layers draw no labels
};

struct TGeoPackageReport {
  QStringList Tables;   // "table: N features" per layer written
  QStringList Problems; // layers left out, with the reason
  int64_t Features = 0;
  bool Cancelled = false;
};

// Raises std::runtime_error naming the file when it cannot be written at all.
TGeoPackageReport ExportGeoPackage(TMapContent& content, const QString& path,
                                   const TGeoPackageOptions& options = {});
