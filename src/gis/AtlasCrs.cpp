#include "AtlasCrs.h"
#include "GdalErrors.h"

#include "base/IniFile.h"
#include "base/PathResolver.h"

#include <cpl_error.h>
#include <ogr_spatialref.h>

#include <stdexcept>

namespace gis {

void TransformationCloser::operator()(OGRCoordinateTransformation* t) const {
  OGRCoordinateTransformation::DestroyCT(t);
}

std::unique_ptr<OGRSpatialReference> TAtlasCrs::Read(const QString& baseDir, QString& problem) {
  problem.clear();
  const QString path = base::ResolvePath(baseDir, FileName);
  const QString declared = base::IniFile(path).ReadString("Atlas", "CRS", QString()).trimmed();
  if (declared.isEmpty()) return nullptr;
  auto crs = std::make_unique<OGRSpatialReference>();
  crs->SetAxisMappingStrategy(OAMS_TRADITIONAL_GIS_ORDER);
  CPLPushErrorHandler(CPLQuietErrorHandler); // PROJ's reason is said with the file's name
  CPLErrorReset();
  const OGRErr read = crs->SetFromUserInput(declared.toUtf8().constData());
  const QString reason = QString::fromUtf8(CPLGetLastErrorMsg()).trimmed();
  CPLPopErrorHandler();
  if (read != OGRERR_NONE) {
    problem = QString::fromUtf8("%1: [Atlas] CRS=%2 — система координат, якої не знає GDAL/PROJ")
                  .arg(path, declared);
    if (!reason.isEmpty()) problem += " (" + InWords(reason) + ")";
    return nullptr;
  }
  return crs;
}

QString TAtlasCrs::NameOf(const OGRSpatialReference& crs) {
  const char* authority = crs.GetAuthorityName(nullptr);
  const char* code = crs.GetAuthorityCode(nullptr);
  if (authority && code) return QString("%1:%2").arg(authority, code);
  const char* name = crs.GetName();
  return name ? QString::fromUtf8(name) : QString::fromUtf8("невідома система");
}

bool TAtlasCrs::Describe(const QString& declared, QString& said) {
  if (declared.trimmed().isEmpty()) {
    said = QString::fromUtf8("Атлас без системи координат: площина без назви.");
    return true;
  }
  OGRSpatialReference crs;
  CPLPushErrorHandler(CPLQuietErrorHandler); // what is wrong is said here, not on the console
  CPLErrorReset();
  const OGRErr read = crs.SetFromUserInput(declared.trimmed().toUtf8().constData());
  const QString reason = QString::fromUtf8(CPLGetLastErrorMsg()).trimmed();
  CPLPopErrorHandler();
  if (read != OGRERR_NONE) {
    said = QString::fromUtf8("«%1» — система координат, якої не знає GDAL/PROJ.")
               .arg(declared.trimmed());
    if (!reason.isEmpty()) said += " " + InWords(reason);
    return false;
  }
  const char* name = crs.GetName();
  said = (name ? QString::fromUtf8(name) : QString()) + " (" + NameOf(crs) + ")";
  return true;
}

TToAtlas TAtlasCrs::ToAtlasFrom(const OGRSpatialReference* source, const QString& baseDir) {
  if (!source || source->IsLocal() || source->IsEmpty()) return {};
  // A GeoPackage table written without a system carries GeoPackage's placeholders ("Undefined
  // geographic SRS", "Undefined cartesian SRS"): no system either.
  if (const char* name = source->GetName(); name && QString::fromUtf8(name).startsWith("Undefined"))
    return {};
  // The atlas's declaration not understood is said when the atlas opens; here the atlas is as
  // one without a system.
  QString problem;
  const auto atlas = Read(baseDir, problem);
  // Another system's coordinates read as the atlas's would put the objects elsewhere (degrees as
  // metres) and take the whole map's extent with them.
  if (!atlas)
    throw std::runtime_error(QString::fromUtf8("атлас не має системи координат; шар у %1")
                                 .arg(NameOf(*source))
                                 .toStdString());
  if (atlas->IsSame(source)) return {};
  OGRSpatialReference from(*source);
  from.SetAxisMappingStrategy(
      OAMS_TRADITIONAL_GIS_ORDER); // x east, y north, whatever the authority
  CPLPushErrorHandler(CPLQuietErrorHandler);
  CPLErrorReset();
  TToAtlas ways{TTransformation(OGRCreateCoordinateTransformation(&from, atlas.get())),
                TTransformation(OGRCreateCoordinateTransformation(atlas.get(), &from))};
  const QString reason = QString::fromUtf8(CPLGetLastErrorMsg()).trimmed();
  CPLPopErrorHandler();
  if (!ways.Forward || !ways.Back)
    throw std::runtime_error(QString::fromUtf8("шар у %1 не переводиться до системи атласу %2: %3")
                                 .arg(NameOf(*source), NameOf(*atlas), InWords(reason))
                                 .toStdString());
  return ways;
}

} // namespace gis
