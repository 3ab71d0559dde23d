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

namespace gis {

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
};

} // namespace gis
