#pragma once
// Where a point of the atlas lies on the Earth: the atlas's coordinates to WGS 84 degrees and
// back, for the status bar and for going to a place typed by a person.

#include "AtlasCrs.h"

#include "core/World.h"

#include <QString>
#include <optional>

namespace gis {

struct TDegrees {
  double Latitude = 0, Longitude = 0;
};

class TAtlasPlace {
public:
  // The atlas whose BASE folder is `baseDir`; `problem` says why its declared system is not
  // understood (then it is as an atlas without one).
  TAtlasPlace(const QString& baseDir, QString& problem);
  ~TAtlasPlace();

  bool HasSystem() const { return bool(ToWgs84); }
  QString SystemName() const { return Name; }
  std::optional<TDegrees> ToDegrees(double X, double Y) const;
  std::optional<std::pair<double, double>> FromDegrees(const TDegrees& place) const;

  // What a person typed: two numbers (a space, a comma or a semicolon between them; the degree
  // sign and decimal commas taken too), read as the first of these that lands on the atlas
  // (`atlas`, its whole extent, with half its size and at least 5 km around it): X Y in the
  // atlas's system, latitude and longitude in degrees, longitude and latitude. The atlas's
  // point, or empty with `problem` saying why none lands there (X and Y swapped said as such).
  std::optional<std::pair<double, double>> Parse(const QString& typed, const TExtent& atlas,
                                                 QString& problem) const;

  // The pointer's place as the status bar shows it.
  QString Describe(double X, double Y) const;

private:
  TTransformation ToWgs84, FromWgs84;
  QString Name;
};

} // namespace gis
