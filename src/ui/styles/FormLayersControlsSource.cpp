// The layers window and layers from GDAL sources: a GIS file chosen for a row becomes
// "FILE|layername=LAYER" with the kind that draws the layer's shapes, its extent and its text
// fields to label with; a picture becomes a raster layer with its extent.

#include "FormLayersControls.h"

#include "base/PathResolver.h"
#include "base/UserMessages.h"
#include "data/DataModule.h"
#include "gis/GdalLayer.h"
#include "gis/GdalSources.h"
#include "gis/RasterLayer.h"

#include <QComboBox>
#include <QFileInfo>
#include <QInputDialog>

QString TFormLayersControls::SourceName(const QString& path) const {
  // A file in the maps folder is named as the other files are; one elsewhere by its full path.
  const QFileInfo file(path);
  return QFileInfo(file.path()).canonicalFilePath() == QFileInfo(Data.MapsDir).canonicalFilePath()
             ? file.fileName()
             : file.absoluteFilePath();
}

bool TFormLayersControls::IsGisFile(const QString& path) {
  const QString suffix = QFileInfo(path).suffix().toLower();
  return suffix == "gpkg" || suffix == "sqlite" || suffix == "geojson";
}

QString TFormLayersControls::AskSourceLayer(const QStringList& layers) {
  bool ok = false;
  const QString chosen = QInputDialog::getItem(this, QString::fromUtf8("Шар джерела"),
                                               QString::fromUtf8("Шар:"), layers, 0, false, &ok);
  return ok ? chosen : QString();
}

void TFormLayersControls::ApplyGdalSource(const QString& path) {
  std::vector<TGdalSourceLayer> layers;
  try {
    layers = ListGdalLayers(path, Data.BaseDir);
  } catch (const TGdalSourceError& e) {
    base::UserMessages::Current().ShowMessage(QString::fromUtf8(e.what()));
    return;
  }
  // Only layers of shapes can be drawn.
  std::erase_if(layers, [](const TGdalSourceLayer& l) { return l.Kind == 0; });
  if (layers.empty()) {
    base::UserMessages::Current().ShowMessage(
        path + QString::fromUtf8(": у джерелі немає шарів з точками, лініями чи полігонами"));
    return;
  }
  QStringList names;
  for (const TGdalSourceLayer& l : layers)
    names << l.Name;
  const QString chosen = names.size() == 1 ? names.front() : ChooseSourceLayer(names);
  const auto layer = std::find_if(layers.begin(), layers.end(),
                                  [&](const TGdalSourceLayer& l) { return l.Name == chosen; });
  if (layer == layers.end()) return; // none chosen: the row stays as it was
  if (!WriteField("FileName", SourceName(path) + "|layername=" + layer->Name) ||
      !WriteField("PrimitiveType", int64_t(layer->Kind)) || !WriteField("X0", layer->Extent.XMin) ||
      !WriteField("Y0", layer->Extent.YMin) || !WriteField("Xm", layer->Extent.XMax) ||
      !WriteField("Ym", layer->Extent.YMax))
    return;
  Loading = true;
  DBComboBoxLabelFieldName->clear();
  DBComboBoxLabelFieldName->addItems(layer->TextFields);
  Loading = false;
  PostRow();
  LoadRow();
  // Chosen, but the map will leave it out until the atlas has a system: said now, not later.
  if (!layer->Refusal.isEmpty())
    base::UserMessages::Current().ShowMessage(layer->Name + ": " + layer->Refusal);
}

void TFormLayersControls::ApplyRasterSource(const QString& path) {
  TExtent extent;
  try {
    extent = TRasterLayer::ExtentOf(path, Data.BaseDir);
  } catch (const TGdalSourceError& e) {
    base::UserMessages::Current().ShowMessage(QString::fromUtf8(e.what()));
    return;
  }
  if (!WriteField("FileName", SourceName(path)) || !WriteField("PrimitiveType", int64_t(17)) ||
      !WriteField("X0", extent.XMin) || !WriteField("Y0", extent.YMin) ||
      !WriteField("Xm", extent.XMax) || !WriteField("Ym", extent.YMax))
    return;
  PostRow();
  LoadRow();
}

QStringList TFormLayersControls::SourceTextFields(const QString& source,
                                                  const QString& layer) const {
  // A connection string is not tried here: the window must not wait on a server to show a row.
  if (source.indexOf(':') > 1) return {};
  const QString path =
      QFileInfo(source).isAbsolute() ? source : base::ResolvePath(Data.MapsDir, source);
  try {
    for (const TGdalSourceLayer& l : ListGdalLayers(path, Data.BaseDir))
      if (l.Name == layer) return l.TextFields;
  } catch (const TGdalSourceError&) {
    // no choices, no message, as for a missing attribute table
  }
  return {};
}
