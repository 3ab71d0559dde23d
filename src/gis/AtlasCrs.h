#pragma once
// The atlas's coordinate system, declared in BASE/ATLAS.INI:
//
//   [Atlas]
//   CRS=EPSG:32636
//
// anything GDAL's spatial references take (EPSG:N, a PROJ string, WKT), in the traditional GIS
// axis order. An atlas without one is a plane without a name.

#include <QString>
#include <memory>

class OGRSpatialReference;
class OGRCoordinateTransformation;

namespace gis {

struct TransformationCloser {
  void operator()(OGRCoordinateTransformation* t) const;
};
using TTransformation = std::unique_ptr<OGRCoordinateTransformation, TransformationCloser>;

// How a source's coordinates come to the atlas's: both ways, or none when they need not.
struct TToAtlas {
  TTransformation Forward, Back;
};

class TAtlasCrs {
public:
  static constexpr const char* FileName = "ATLAS.INI";

  // The system declared for the atlas whose BASE folder is `baseDir`; null when none is, or when
  // the declaration is not understood (then `problem` says why, naming the file).
  static std::unique_ptr<OGRSpatialReference> Read(const QString& baseDir, QString& problem);
  // A system as a person reads it: its authority and code ("EPSG:4326"), else its name.
  static QString NameOf(const OGRSpatialReference& crs);
  // Whether `declared` names a system GDAL/PROJ knows (an empty one: none); `said` receives its
  // name and code, or what is wrong.
  static bool Describe(const QString& declared, QString& said);
  // A source in `source` (null: none) brought to the atlas whose BASE folder is `baseDir`. A
  // source without a system, in an unnamed local plane (as the export writes an atlas without
  // one) or in the atlas's is read as it is (no transformations); one in another system is
  // transformed (traditional GIS axis order). Raises std::runtime_error with the reason when it
  // cannot be: a named system on an atlas without one ("атлас не має системи координат; шар у
  // EPSG:4326"), or no way between the two.
  static TToAtlas ToAtlasFrom(const OGRSpatialReference* source, const QString& baseDir);
};

} // namespace gis
