#include "GdalSources.h"
#include "AtlasCrs.h"
#include "GdalErrors.h"
#include "GdalLayer.h"

#include <gdal.h>
#include <ogrsf_frmts.h>

#include <memory>

namespace {

int KindOf(OGRwkbGeometryType type) {
  switch (wkbFlatten(type)) {
  case wkbPoint:
  case wkbMultiPoint:
    return 11;
  case wkbLineString:
  case wkbMultiLineString:
    return 13;
  case wkbPolygon:
  case wkbMultiPolygon:
    return 15;
  default:
    return 0;
  }
}

} // namespace

std::vector<TGdalSourceLayer> ListGdalLayers(const QString& source, const QString& atlasBaseDir) {
  GDALAllRegister();
  CPLPushErrorHandler(CPLQuietErrorHandler);
  CPLErrorReset();
  struct Closer {
    void operator()(GDALDataset* d) const { GDALClose(d); }
  };
  const std::unique_ptr<GDALDataset, Closer> data(static_cast<GDALDataset*>(GDALOpenEx(
      source.toUtf8().constData(), GDAL_OF_VECTOR | GDAL_OF_READONLY, nullptr, nullptr, nullptr)));
  const QString reason = QString::fromUtf8(CPLGetLastErrorMsg()).trimmed();
  CPLPopErrorHandler();
  if (!data)
    throw TGdalSourceError(
        (source + QString::fromUtf8(": джерело не відкривається: ") +
         (reason.isEmpty() ? QString::fromUtf8("GDAL його не знає") : gis::InWords(reason)))
            .toStdString());
  std::vector<TGdalSourceLayer> layers;
  for (OGRLayer* layer : data->GetLayers()) {
    TGdalSourceLayer entry;
    entry.Name = QString::fromUtf8(layer->GetName());
    entry.Kind = KindOf(layer->GetGeomType());
    OGREnvelope e;
    if (layer->GetExtent(&e, TRUE) == OGRERR_NONE) {
      try {
        const gis::TToAtlas ways =
            gis::TAtlasCrs::ToAtlasFrom(layer->GetSpatialRef(), atlasBaseDir);
        if (!ways.Forward || ways.Forward->TransformBounds(e.MinX, e.MinY, e.MaxX, e.MaxY, &e.MinX,
                                                           &e.MinY, &e.MaxX, &e.MaxY, 21))
          entry.Extent = {e.MinX, e.MinY, e.MaxX, e.MaxY};
      } catch (const std::runtime_error& refused) {
        entry.Refusal = QString::fromUtf8(refused.what());
      }
    }
    OGRFeatureDefn* defn = layer->GetLayerDefn();
    for (int k = 0; k < defn->GetFieldCount(); ++k)
      if (defn->GetFieldDefn(k)->GetType() == OFTString)
        entry.TextFields << QString::fromUtf8(defn->GetFieldDefn(k)->GetNameRef());
    layers.push_back(entry);
  }
  return layers;
}
