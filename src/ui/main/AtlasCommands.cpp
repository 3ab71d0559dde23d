// The main window and the atlas as a whole: opening another atlas in its place, taking in what
// other users wrote to it (the atlas watcher), exporting it to GeoPackage, printing the map, and
// the user's answer for its sources on the network.

#include "AtlasCommands.h"
#include "AtlasWatcher.h"
#include "FormMap.h"
#include "FormOpenAtlas.h"
#include "MeasurementCommands.h"
#include "NetworkCommands.h"

#include "ui/network/FormShutOff.h"
#include "ui/panels/LayerPanels.h"
#include "ui/print/FormPrint.h"

#include "base/RemoteFiles.h"
#include "base/UserMessages.h"
#include "data/DataModule.h"
#include "gis/GeoPackageExport.h"
#include "gis/NetworkSources.h"
#include "overlays/Distation.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QMessageBox>
#include <QProcess>
#include <QProgressDialog>

TAtlasCommands::TAtlasCommands(TFormMap& form, TDataModuleVANDREL& data)
    : TFormMapGroup(form, data) {
  AtlasWatcher = new TAtlasWatcher({Data.BaseDir, Data.MapsDir}, this);
  AtlasWatcher->OnChanged = [this] { return TakeOthersChanges(); };
}

bool TAtlasCommands::TakeOthersChanges() {
  const IMapMeasurements* measurements = Map->Measuring.Overlay();
  if (QApplication::activeModalWidget() || QApplication::mouseButtons() != Qt::NoButton ||
      (measurements && measurements->CurrentPointCount() > 0))
    return false;
  for (db::Table* t :
       {&Data.TableCategory, &Data.TableClasses, &Data.TableGroup, &Data.TableImages})
    if (t->Active() && t->State() == db::TableState::Browse) t->Refresh();
  ReloadLayers(false); // the layers another program did not change are not drawn again
  return true;
}

void TAtlasCommands::ReloadLayers(bool drawEverything) {
  Map->ReloadMap();
  if (drawEverything)
    Map->Redraw();
  else
    Map->RedrawChanged();
  Form.Panels->RebuildLayerList();
  Form.Panels->RebuildTree();
}

void TAtlasCommands::miExportGeoPackageClick() {
  // The file dialog asks before it replaces a file.
  const QString path = QFileDialog::getSaveFileName(
      &Form, QString::fromUtf8("Експорт атласу в GeoPackage"),
      QDir::home().filePath(base::RootName(Data.DataRoot).replace('/', '-') + ".gpkg"),
      QString::fromUtf8("GeoPackage (*.gpkg)"));
  if (path.isEmpty()) return;
  // The measurements on the map go with the atlas when the user wants them.
  const auto* measurements = dynamic_cast<const TDistationLayer*>(Map->Measuring.Overlay());
  const bool withMeasurements =
      measurements && !measurements->Items.empty() &&
      QMessageBox::question(&Form, QString::fromUtf8("Експорт атласу в GeoPackage"),
                            QString::fromUtf8("Додати виміри, що є на карті (%1)?")
                                .arg(measurements->Items.size())) == QMessageBox::Yes;
  ExportGeoPackageTo(path, withMeasurements);
}

bool TAtlasCommands::ExportGeoPackageTo(const QString& path, bool withMeasurements) {
  QProgressDialog progress(QString::fromUtf8("Експорт атласу в GeoPackage..."),
                           QString::fromUtf8("Скасувати"), 0, int(Map->Layers.size()), &Form);
  progress.setWindowModality(Qt::WindowModal);
  progress.setMinimumDuration(0);
  TGeoPackageOptions options;
  if (withMeasurements)
    options.Measurements = dynamic_cast<const TDistationLayer*>(Map->Measuring.Overlay());
  options.Progress = [&progress](int done, int) {
    progress.setValue(done);
    QApplication::processEvents();
    return !progress.wasCanceled();
  };
  try {
    const TGeoPackageReport report = ExportGeoPackage(Map->Content, path, options);
    if (report.Cancelled) return false;
    QString text = QString::fromUtf8("Записано %1 об'єктів у %2 таблицях: %3")
                       .arg(report.Features)
                       .arg(report.Tables.size())
                       .arg(path);
    if (!report.Problems.isEmpty())
      text += QString::fromUtf8("\nНе записано:\n") + report.Problems.join('\n');
    base::UserMessages::Current().ShowMessage(text);
    return true;
  } catch (const std::exception& e) {
    base::UserMessages::Current().ShowMessage(QString::fromUtf8(e.what()));
    return false;
  }
}

void TAtlasCommands::imPrintClick() {
  // The legend's classes in the layers' drawing order, as the layers panel lists them.
  std::vector<const TClassObject*> legend;
  for (const TNodeLine& line : Form.Panels->LayerNodes)
    if (const auto* c = dynamic_cast<const TClassObject*>(line.Node.get())) legend.push_back(c);
  TFormPrint window(*Map, std::move(legend), QString::fromUtf8(TFormMap::kCaption), &Form);
  if (Form.NetworkCommands->ShutOffMarked())
    window.OfferListPage(QString::fromUtf8("засувки й адреси відключення"),
                         Form.NetworkCommands->ShutOff->ReportHtml(false));
  window.exec();
}
void TAtlasCommands::imOpenAtlasClick() {
  if (!Form.MeasurementCommands->MeasurementsMayGo()) return;
  TFormOpenAtlas window(QString(), &Form);
  if (window.exec() != QDialog::Accepted) return;
  OpenAtlas(window.Chosen());
}

bool TAtlasCommands::OpenAtlas(const QString& dataRoot) {
  if (!Form.MeasurementCommands->MeasurementsMayGo()) return false;
  // The program starts again on the atlas chosen, in the same work mode: every window, table
  // and layer is then the new atlas's, none left over from this one.
  const QStringList arguments{"--data-root", dataRoot, "--work-mode",
                              QString::number(Data.WorkMode)};
  const QString program = QCoreApplication::applicationFilePath();
  const bool started =
      Relaunch ? Relaunch(program, arguments) : QProcess::startDetached(program, arguments);
  if (!started) {
    base::UserMessages::Current().ShowMessage(
        QString::fromUtf8("Не вдається запустити програму для атласу %1").arg(dataRoot));
    return false;
  }
  Form.close();
  return true;
}

void TAtlasCommands::miNetworkSourcesClick() {
  using gis::TNetworkSources;
  const TNetworkSources::Answer answer = TNetworkSources::AnswerFor(Data.MapsDir);
  const char* now = answer == TNetworkSources::Answer::Allowed   ? "дозволено"
                    : answer == TNetworkSources::Answer::Refused ? "не дозволено"
                                                                 : "ще не вирішено";
  const bool allow = base::UserMessages::Current().Ask(
      QString::fromUtf8("Шари атласу «%1» з джерел у мережі (сервери карт, бази даних на інших "
                        "комп'ютерах): зараз %2.\n\nДозволити атласу відкривати їх?")
          .arg(base::RootName(Data.DataRoot), QString::fromUtf8(now)));
  if (answer != TNetworkSources::Answer::NotAsked &&
      allow == (answer == TNetworkSources::Answer::Allowed))
    return;
  TNetworkSources::Remember(Data.MapsDir, allow);
  ReloadLayers(true);
}
