#include "AtlasPlace.h"

#include <QRegularExpression>
#include <QStringList>

#include <cpl_error.h>
#include <ogr_spatialref.h>

#include <algorithm>
#include <cmath>

namespace gis {

TAtlasPlace::TAtlasPlace(const QString& baseDir, QString& problem) {
  const auto atlas = TAtlasCrs::Read(baseDir, problem);
  if (!atlas) return;
  Name = TAtlasCrs::NameOf(*atlas);
  OGRSpatialReference wgs84;
  wgs84.SetWellKnownGeogCS("WGS84");
  wgs84.SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER); // longitude first
  CPLPushErrorHandler(CPLQuietErrorHandler);
  ToWgs84.reset(OGRCreateCoordinateTransformation(atlas.get(), &wgs84));
  FromWgs84.reset(OGRCreateCoordinateTransformation(&wgs84, atlas.get()));
  CPLPopErrorHandler();
  if (!ToWgs84 || !FromWgs84) {
    ToWgs84.reset();
    FromWgs84.reset();
  }
}

TAtlasPlace::~TAtlasPlace() = default;

std::optional<TDegrees> TAtlasPlace::ToDegrees(double X, double Y) const {
  if (!ToWgs84) return std::nullopt;
  double x = X, y = Y;
  CPLPushErrorHandler(CPLQuietErrorHandler);
  const bool done = ToWgs84->Transform(1, &x, &y) && std::isfinite(x) && std::isfinite(y);
  CPLPopErrorHandler();
  if (!done) return std::nullopt;
  return TDegrees{y, x};
}

std::optional<std::pair<double, double>> TAtlasPlace::FromDegrees(const TDegrees& place) const {
  if (!FromWgs84) return std::nullopt;
  double x = place.Longitude, y = place.Latitude;
  CPLPushErrorHandler(CPLQuietErrorHandler);
  const bool done = FromWgs84->Transform(1, &x, &y) && std::isfinite(x) && std::isfinite(y);
  CPLPopErrorHandler();
  if (!done) return std::nullopt;
  return std::pair{x, y};
}

namespace {

// The two numbers a person typed: "X Y", "X, Y", "X; Y" with decimal points, or "X,x Y,y" and
// "X,x; Y,y" with decimal commas.
std::optional<std::pair<double, double>> TwoNumbers(QString text) {
  text.remove(QChar(0x00B0)); // the degree sign
  static const QRegularExpression points(
      R"(^([-+]?\d+(?:\.\d+)?)\s*(?:[,;]\s*|\s+)([-+]?\d+(?:\.\d+)?)$)");
  static const QRegularExpression commas(
      R"(^([-+]?\d+(?:,\d+)?)\s*(?:;\s*|\s+)([-+]?\d+(?:,\d+)?)$)");
  QRegularExpressionMatch m = points.match(text);
  if (!m.hasMatch()) m = commas.match(text);
  if (!m.hasMatch()) return std::nullopt;
  return std::pair{QString(m.captured(1)).replace(',', '.').toDouble(),
                   QString(m.captured(2)).replace(',', '.').toDouble()};
}

QString Bounds(const TExtent& e) {
  return QString("X %1…%2, Y %3…%4")
      .arg(e.XMin, 0, 'f', 0)
      .arg(e.XMax, 0, 'f', 0)
      .arg(e.YMin, 0, 'f', 0)
      .arg(e.YMax, 0, 'f', 0);
}

} // namespace

std::optional<std::pair<double, double>>
TAtlasPlace::Parse(const QString& typed, const TExtent& atlas, QString& problem) const {
  const QString shown = typed.trimmed();
  const auto numbers = TwoNumbers(shown);
  if (!numbers) {
    problem = QString::fromUtf8("«%1» — не координати: очікується «X Y» у системі атласу або "
                                "«широта, довгота» у градусах (50.4501, 30.5234)")
                  .arg(shown);
    return std::nullopt;
  }
  const auto [first, second] = *numbers;
  // The atlas's extent with half its size, and at least 5 km, around it: a place just off the
  // map (a district not drawn yet) is still the atlas's; one far away is a typing error.
  const double marginX = std::max(5000.0, (atlas.XMax - atlas.XMin) / 2);
  const double marginY = std::max(5000.0, (atlas.YMax - atlas.YMin) / 2);
  const bool known = atlas.XMax > atlas.XMin && atlas.YMax > atlas.YMin;
  const auto inside = [&](double x, double y) {
    return !known || (x >= atlas.XMin - marginX && x <= atlas.XMax + marginX &&
                      y >= atlas.YMin - marginY && y <= atlas.YMax + marginY);
  };
  // The atlas's own coordinates first, then degrees as latitude, longitude, then the same two
  // typed the other way round: the first reading that lands on the atlas is taken.
  if (inside(first, second)) return std::pair{first, second};
  const auto degrees = [&](double latitude,
                           double longitude) -> std::optional<std::pair<double, double>> {
    if (!HasSystem() || std::fabs(latitude) > 90 || std::fabs(longitude) > 180) return std::nullopt;
    const auto point = FromDegrees({latitude, longitude});
    return point && inside(point->first, point->second) ? point : std::nullopt;
  };
  if (const auto point = degrees(first, second)) return point;
  if (const auto point = degrees(second, first)) return point;
  if (inside(second, first))
    problem = QString::fromUtf8("«%1» лежить поза атласом (%2); чи не переставлено X і Y?")
                  .arg(shown, Bounds(atlas));
  else if (std::fabs(first) <= 180 && std::fabs(second) <= 180 && !HasSystem())
    problem = QString::fromUtf8("«%1» лежить поза атласом (%2); місце в градусах на ньому не "
                                "знайти: атлас не має системи координат (Утиліти → Система "
                                "координат атласу ...)")
                  .arg(shown, Bounds(atlas));
  else
    problem = QString::fromUtf8("«%1» лежить поза атласом (%2) і в системі атласу, і як широта "
                                "й довгота в градусах")
                  .arg(shown, Bounds(atlas));
  return std::nullopt;
}

QString TAtlasPlace::Describe(double X, double Y) const {
  QString text = QString("X %1  Y %2").arg(X, 0, 'f', 1).arg(Y, 0, 'f', 1);
  if (const auto d = ToDegrees(X, Y))
    text +=
        QString::fromUtf8("   %1°, %2°").arg(d->Latitude, 0, 'f', 6).arg(d->Longitude, 0, 'f', 6);
  return text;
}

} // namespace gis
