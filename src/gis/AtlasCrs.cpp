#include "AtlasCrs.h"

#include "base/IniFile.h"
#include "base/PathResolver.h"

#include <cpl_error.h>
#include <ogr_spatialref.h>

namespace gis {

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
    if (!reason.isEmpty()) problem += " (" + reason + ")";
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
    if (!reason.isEmpty()) said += " " + reason;
    return false;
  }
  const char* name = crs.GetName();
  said = (name ? QString::fromUtf8(name) : QString()) + " (" + NameOf(crs) + ")";
  return true;
}

} // namespace gis
