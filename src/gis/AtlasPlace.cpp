#include "AtlasPlace.h"

#include <QRegularExpression>
#include <QStringList>

#include <cpl_error.h>
#include <ogr_spatialref.h>

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

std::optional<std::pair<double, double>> TAtlasPlace::Parse(const QString& typed,
                                                            QString& problem) const {
  QString text = typed.trimmed();
  text.remove(QChar(0x00B0)); // the degree sign
  // Degrees: "lat, lon" (a comma and a space, or a semicolon, between them), or two numbers
  // with decimal commas.
  static const QRegularExpression degreesWithPoints(
      R"(^([-+]?\d+(?:\.\d+)?)\s*[,;]\s*([-+]?\d+(?:\.\d+)?)$)");
  static const QRegularExpression degreesWithCommas(
      R"(^([-+]?\d+(?:,\d+)?)\s*[;\s]\s*([-+]?\d+(?:,\d+)?)$)");
  static const QRegularExpression plane(R"(^([-+]?\d+(?:\.\d+)?)\s+([-+]?\d+(?:\.\d+)?)$)");
  QRegularExpressionMatch m = plane.match(text);
  if (m.hasMatch()) return std::pair{m.captured(1).toDouble(), m.captured(2).toDouble()};
  const bool commas = !degreesWithPoints.match(text).hasMatch();
  m = commas ? degreesWithCommas.match(text) : degreesWithPoints.match(text);
  if (!m.hasMatch()) {
    problem = QString::fromUtf8("«%1» — не координати: очікується «X Y» у системі атласу або "
                                "«широта, довгота» у градусах (50.4501, 30.5234)")
                  .arg(typed.trimmed());
    return std::nullopt;
  }
  const double first = QString(m.captured(1)).replace(',', '.').toDouble();
  const double second = QString(m.captured(2)).replace(',', '.').toDouble();
  const bool inDegrees = std::fabs(first) <= 90 && std::fabs(second) <= 180;
  // "324182,2 5591607,6": the atlas's coordinates written with decimal commas.
  if (commas && !inDegrees) return std::pair{first, second};
  if (!inDegrees) {
    problem = QString::fromUtf8("«%1»: широта має бути від -90 до 90°, довгота від -180 до 180°")
                  .arg(typed.trimmed());
    return std::nullopt;
  }
  const double latitude = first, longitude = second;
  if (!HasSystem()) {
    problem = QString::fromUtf8("атлас не має системи координат: місце в градусах на ньому не "
                                "знайти (Утиліти → Система координат атласу ...)");
    return std::nullopt;
  }
  const auto point = FromDegrees({latitude, longitude});
  if (!point)
    problem =
        QString::fromUtf8("«%1» не переводиться до системи атласу %2").arg(typed.trimmed(), Name);
  return point;
}

QString TAtlasPlace::Describe(double X, double Y) const {
  QString text = QString("X %1  Y %2").arg(X, 0, 'f', 1).arg(Y, 0, 'f', 1);
  if (const auto d = ToDegrees(X, Y))
    text +=
        QString::fromUtf8("   %1°, %2°").arg(d->Latitude, 0, 'f', 6).arg(d->Longitude, 0, 'f', 6);
  return text;
}

} // namespace gis
