#pragma once
// Writes the GeoPackage through GDAL: a table per layer with its fields and its objects' own
// looks, the measurements' tables, QGIS's default styles and the QGIS project. Written under a
// temporary name; the caller puts the file in place.

#include "GeoPackageExport.h"
#include "LayerStyle.h"
#include "ObjectLooks.h"
#include "QgisProject.h"

#include <memory>
#include <stdexcept>
#include <utility>
#include <vector>

class GDALDataset;
class OGRLayer;
class OGRSpatialReference;
class TGdalLayer;

// The measurements' group in the project, before the atlas's categories.
constexpr int kMeasurementsCategory = -1;

// An error naming the GeoPackage.
std::runtime_error GeoPackageFailure(const QString& path, const QString& what);
// What a layer becomes in QGIS: 1 points, 2 lines, 3 areas.
int GeometryOf(const TCustomLayer& layer);

class TGeoPackageWriter {
public:
  TGeoPackageWriter(const QString& path, const QString& temp, const TGeoPackageOptions& options);
  ~TGeoPackageWriter();
  // Writes one layer; its problem, or empty.
  QString Layer(TCustomLayer& layer, const QString& name, const TLayerLook* look,
                const TGroupSymbols& groups, int64_t& features);
  // The measurements: distances as lines and areas as polygons, each in its colour, with its
  // value (metres, square metres); the project's layers of them.
  std::vector<std::pair<TProjectLayer, int64_t>> Measurements(const TDistationLayer& measurements);
  // QGIS's default styles: a row per table in `layer_styles`.
  void Styles(const std::vector<std::pair<QString, TLayerLook>>& looks);
  // The QGIS project, in QGIS's own table (kept out of the GeoPackage's contents, as QGIS keeps
  // it): the archive as hexadecimal text, which is how QGIS reads it back.
  void Project(TQgisProject project);
  // The fields of a table written, in its order (its geometry and key apart).
  QStringList FieldNames(const QString& table) const;
  // Takes back the table of a layer that could not be written whole: its writing rolled back,
  // the table removed.
  void DropLayer(const QString& name);
  void Close() { Data.reset(); }

private:
  // A layer from a GDAL source: its source's objects and fields as they are.
  QString CopySource(TGdalLayer& layer, OGRLayer& out, int64_t& features);

  QString Path;
  const TGeoPackageOptions& Options;
  struct Closer {
    void operator()(GDALDataset* d) const;
  };
  std::unique_ptr<GDALDataset, Closer> Data;
  std::unique_ptr<OGRSpatialReference> Crs;
  OGRLayer* Writing = nullptr; // the table whose writing is under way, in a transaction
};
