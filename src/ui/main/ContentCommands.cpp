// The main window's windows over the atlas's content: the street and address search, the layer
// properties, the reference dictionary, the symbol choice, a layer's attribute table, the object
// index of the map with its choice window and its rebuilding, the network topology calculation
// with its progress, and the help and reference pages.

#include "ContentCommands.h"
#include "AtlasCommands.h"
#include "FormMap.h"
#include "SmallDialogs.h"

#include "ui/common/FormHtmlBrowser.h"
#include "ui/dictionary/FormClassifier.h"
#include "ui/network/NetworkTopology.h"
#include "ui/objects/FormAttributeTable.h"
#include "ui/objects/FormViewSelectedObjects.h"
#include "ui/panels/LayerPanels.h"
#include "ui/styles/FormLayersControls.h"
#include "ui/styles/FormSetSymbol.h"

#include "base/UserMessages.h"
#include "data/DataModule.h"
#include "db/Error.h"
#include "overlays/DBPointsIndexs.h"
#include "overlays/ObjectIndexBuilder.h"
#include "platform/HtmlViewer.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QProgressDialog>
#include <QToolButton>

void TContentCommands::SetObjectList(TShowList showList) {
  ShowListWindow = std::move(showList);
  const bool present = bool(ShowListWindow);
  for (const char* name : {"sbStreets", "sbAddress"})
    Form.Button(name)->setEnabled(present);
  for (const char* name : {"miStreets", "miAddress"})
    Form.Action(name)->setEnabled(present);
  // "Список" of both panels opens the same window.
  Form.Panels->OnShowList = ShowListWindow;
}

void TContentCommands::sbStreetsClick() {
  if (ShowListWindow)
    ShowListWindow("Streets", Data.MapsDir, QString::fromUtf8("Вулиці"), 1, 7, 4, -1);
}

void TContentCommands::sbAddressClick() {
  if (ShowListWindow)
    ShowListWindow("address", Data.MapsDir, QString::fromUtf8("Адреси"), 4, 8, 1, -1);
}

void TContentCommands::ShowLayersControls() {
  TFormLayersControls window(Data, *Map, &Form);
  window.OnLabels = [&window] {
    TFormLabelFileCreate labels(&window);
    labels.exec();
  };
  window.exec();
}

void TContentCommands::sbLayersClick() {
  // Hidden in the read-only work modes; nothing of the data root is written there.
  if (Data.WorkMode != 0) return;
  ShowLayersControls();
  // The map is rebuilt from the table, the view kept; the panels read it again; the layers whose
  // rows did not change are not drawn again.
  Form.AtlasCommands->ReloadLayers(false);
}

void TContentCommands::miClassifierClick() {
  TFormClassifier window(&Form);
  window.DatabaseName = Data.BaseDir;
  window.TableName = "dictionary.db";
  window.ReadOnly = Data.WorkMode != 0;
  window.exec();
}

void TContentCommands::InstallPanelCommands() {
  // The layers panel's properties area opens the same window on its row.
  Form.Panels->OnLayerProperties = [this] { ShowLayersControls(); };
  Form.Panels->OnChooseSymbol = [this](int category, int cls, int group) {
    TFormSetSymbol window(Data, &Form);
    const bool stored = window.ChooseSymbol(category, cls, group);
    // The map shows the new symbol at once.
    if (stored && window.result() == QDialog::Accepted) {
      Map->ReloadMap();
      Map->Redraw();
    }
    return stored;
  };
  Form.Panels->OnShowAttributes = [this](int category, int cls) {
    ShowAttributeTable(category, cls);
  };
}

void TContentCommands::ShowAttributeTable(int category, int cls) {
  TCustomLayer* layer = Map->Content.LayerOf(category, cls);
  if (!layer) {
    base::UserMessages::Current().ShowMessage(
        QString::fromUtf8("Шар класу %1.%2 не завантажено").arg(category).arg(cls));
    return;
  }
  try {
    AttributeTable = std::make_unique<TFormAttributeTable>(*Map, *layer, &Form);
    if (Data.WorkMode == 0) AttributeTable->AllowEditing();
  } catch (const std::exception& e) {
    AttributeTable.reset();
    base::UserMessages::Current().ShowMessage(QString::fromUtf8(e.what()));
    return;
  }
  AttributeTable->show();
  AttributeTable->raise();
}

bool TContentCommands::ActiveLayerHasOwnSymbol() const {
  // As in the panels: symbols are chosen for the classes of categories from 100 on, in work
  // mode 0 only (nothing of the data root is written in the read-only modes).
  const int active = Map->ActiveLayer;
  if (Data.WorkMode != 0 || active < 0 || active >= int(Map->Layers.size())) return false;
  return Map->Layers[size_t(active)]->Category >= 100;
}

void TContentCommands::ppmiChngSymbolClick() {
  if (!ActiveLayerHasOwnSymbol()) return;
  const TCustomLayer& layer = *Map->Layers[size_t(Map->ActiveLayer)];
  Form.Panels->ChangeSymbol(layer.Category, layer.Class, 255);
}

TContentCommands::~TContentCommands() = default;

TContentCommands::TContentCommands(TFormMap& form, TDataModuleVANDREL& data)
    : TFormMapGroup(form, data) {
  Map->Content.ObjectIndexFactory = [this](const QString& mapsDir, const QString& baseDir,
                                           const QString&,
                                           const TExtent& e) -> std::unique_ptr<IMapObjectIndex> {
    auto index = std::make_unique<TDBPointsIndexs>(mapsDir, baseDir, Data.UserObjDir, e.XMin,
                                                   e.YMin, e.XMax, e.YMax);
    index->ChooseObject = [this](const QStringList& labels) { return ChooseFoundObject(labels); };
    return index;
  };
}

int TContentCommands::ChooseFoundObject(const QStringList& labels) {
  TFormViewSelectedObjects window(Data, &Form);
  return window.Choose(labels);
}

void TContentCommands::miCalcTopologicalModelClick() {
  // Hidden in the read-only work modes; nothing of the data root is written there.
  if (Data.WorkMode != 0) return;
  const TExtent& e = Map->World.FullExtent;
  TDBPointsIndexs index(Data.MapsDir, Data.BaseDir, Data.UserObjDir, e.XMin, e.YMin, e.XMax,
                        e.YMax);
  // An index that cannot give this atlas's nodes would overwrite the model with wrong numbers
  // or -1: nothing is written then.
  QApplication::setOverrideCursor(Qt::WaitCursor);
  const QString problem = TopologyIndexProblem(index, Data.BaseDir, Data.MapsDir);
  QApplication::restoreOverrideCursor();
  if (!problem.isEmpty()) {
    base::UserMessages::Current().ShowMessage(
        QString::fromUtf8("Топологічну модель не узгоджено: індекс об'єктів не відповідає цьому "
                          "атласу (%1). Жодного рядка не змінено; перебудуйте індекс об'єктів.")
            .arg(problem));
    return;
  }
  // The progress shows the pipes done of the pipes in all and lets the user stop between pipes;
  // the window keeps repainting meanwhile.
  QProgressDialog progress(QString::fromUtf8("Узгодження топологічної моделі..."),
                           QString::fromUtf8("Зупинити"), 0, 1, &Form);
  progress.setWindowTitle(QString::fromUtf8("Узгодження топологічної моделі"));
  progress.setWindowModality(Qt::WindowModal);
  progress.setMinimumDuration(0);
  QApplication::setOverrideCursor(Qt::WaitCursor);
  QStringList report;
  try {
    for (const TNetworkTable& network : kNetworkTables) {
      progress.setLabelText(QString::fromUtf8("Узгодження топологічної моделі: %1")
                                .arg(QString::fromUtf8(network.TableName)));
      const TNetworkHubsResult r =
          CalcNetworkHubs(index, Map->World, Data.MapsDir, network.TableName, network.Category,
                          network.Class, [&](int done, int total) {
                            progress.setMaximum(total);
                            progress.setValue(done);
                            QApplication::processEvents();
                            return !progress.wasCanceled();
                          });
      report << QString::fromUtf8("%1: труб %2, кінців з вузлом %3, без вузла %4")
                    .arg(QString::fromUtf8(network.TableName))
                    .arg(r.Pipes)
                    .arg(r.EndsJoined)
                    .arg(r.EndsNotJoined);
      if (!r.RecordsWithoutRow.isEmpty())
        report << QString::fromUtf8("  ліній без рядка таблиці (не змінено): %1 (записи %2)")
                      .arg(r.RecordsWithoutRow.size())
                      .arg(r.RecordsWithoutRow.mid(0, 10).join("; "));
      if (!r.RowsWithoutLine.isEmpty())
        report << QString::fromUtf8("  рядків без лінії: %1 (%2)")
                      .arg(r.RowsWithoutLine.size())
                      .arg(r.RowsWithoutLine.mid(0, 10).join("; "));
      if (r.Cancelled) {
        report << QString::fromUtf8("Зупинено користувачем.");
        break;
      }
    }
  } catch (const db::Error& e) {
    report << e.Message;
  } catch (const std::exception& e) {
    report << QString::fromUtf8(e.what());
  }
  progress.close();
  QApplication::restoreOverrideCursor();
  base::UserMessages::Current().ShowMessage(report.join('\n'));
}

void TContentCommands::miRebuildIndexClick() {
  // Hidden in the read-only work modes; nothing of the data root is written there.
  if (Data.WorkMode != 0) return;
  // The grid tables are replaced whole: asked first.
  if (!base::UserMessages::Current().Confirm(
          QString::fromUtf8("Перебудувати індекс об'єктів у %1? Його таблиці буде замінено "
                            "новими, зібраними з таблиць об'єктів атласу.")
              .arg(QDir::toNativeSeparators(Data.UserObjDir))))
    return;
  QApplication::setOverrideCursor(Qt::WaitCursor);
  QString message;
  try {
    // The map's index lets go of the tables before they are written, and is made anew after.
    Map->CloseMap();
    const TIndexBuildResult r =
        BuildObjectIndex(Data.BaseDir, Data.MapsDir, Data.UserObjDir, Map->World.FullExtent);
    message = QString::fromUtf8("Індекс об'єктів перебудовано (%1 об'єктів):\n%2")
                  .arg(r.Objects)
                  .arg(r.Tables.join('\n'));
    if (r.Kept > 0)
      message += QString::fromUtf8("\nЗаписи інших класів збережено: %1.").arg(r.Kept);
  } catch (const db::Error& e) {
    message = e.Message;
  } catch (const std::exception& e) {
    message = QString::fromUtf8(e.what());
  }
  Map->ReloadMap();
  Map->Redraw();
  QApplication::restoreOverrideCursor();
  base::UserMessages::Current().ShowMessage(message);
}
void TContentCommands::imProgramHelpClick() {
  // Always in the program's own viewer: the page is built into the program.
  if (!HtmlBrowser)
    HtmlBrowser = new TFormHtmlBrowser({Data.AppDir, Data.DataRoot, Data.RefDir}, &Form);
  HtmlBrowser->ShowProgramHelp();
  HtmlBrowser->show();
  HtmlBrowser->raise();
  HtmlBrowser->activateWindow();
}

QString TContentCommands::HtmlViewer() {
  if (!HtmlViewerPath) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    HtmlViewerPath = platform::FindHtmlViewer(Data.AppDir);
    QApplication::restoreOverrideCursor();
  }
  return *HtmlViewerPath;
}

void TContentCommands::OpenDocument(const QString& path) {
  // An external viewer named in vandrel.ini (or the desktop's default one) wins.
  const QString viewer = HtmlViewer();
  if (!viewer.isEmpty() && platform::OpenInViewer(viewer, path, Data.RefDir)) return;
  if (!HtmlBrowser)
    HtmlBrowser = new TFormHtmlBrowser({Data.AppDir, Data.DataRoot, Data.RefDir}, &Form);
  HtmlBrowser->Open(path);
  HtmlBrowser->show();
  HtmlBrowser->raise();
}
