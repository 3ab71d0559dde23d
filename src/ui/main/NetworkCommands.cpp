// The main window's network commands: shutting off a water pipe picked on the map (with the
// buildings that lose water, marked on the map until the marks are taken off), the check of both
// networks' models, the water network's export for the hydraulic solver (EPANET), and the
// network settings.

#include "NetworkCommands.h"
#include "FormMap.h"
#include "ui/network/FormNetworkCheck.h"
#include "ui/network/FormNetworkSettings.h"
#include "ui/network/FormShutOff.h"

#include "base/AtomicFile.h"
#include "base/PathResolver.h"
#include "base/RemoteFiles.h"
#include "base/UserMessages.h"
#include "core/FAMap.h"
#include "core/Identify.h"
#include "data/DataModule.h"
#include "network/EpanetExport.h"
#include "network/NetworkCheck.h"

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QVBoxLayout>

namespace {

// The map layer drawn from a table or geometry file of this name (letter case ignored).
TCustomLayer* LayerOfFile(TFAMap& map, const QString& file) {
  for (const auto& layer : map.Layers)
    if (layer->FileName.compare(file, Qt::CaseInsensitive) == 0) return layer.get();
  return nullptr;
}

QString StampOf(const QStringList& files) {
  QString stamp;
  for (const QString& f : files) {
    const QFileInfo info(f);
    stamp +=
        QString("%1:%2:%3;").arg(f).arg(info.size()).arg(info.lastModified().toMSecsSinceEpoch());
  }
  return stamp;
}

} // namespace

TNetworkCommands::~TNetworkCommands() = default;

std::shared_ptr<const network::TNetworkGraph> TNetworkCommands::WaterNetwork() {
  const network::TNetworkSource source =
      network::SourceOf(Data.BaseDir, Data.MapsDir, network::kWaterNetwork);
  const QString stamp = StampOf({base::ResolvePath(source.MapsDir, source.PipesTable),
                                 base::ResolvePath(source.MapsDir, source.NodesTable)});
  if (!WaterGraph || stamp != WaterGraphStamp) {
    WaterGraph = network::TNetworkGraph::Load(source);
    WaterGraphStamp = stamp;
  }
  return WaterGraph;
}

void TNetworkCommands::miShutOffClick() {
  Form.ToggleToolPanel(0);
  Form.SetToolMode(41);
  Map->SetMode(TFAMap::ModeShutOff);
  Map->SetCursorNumber(0);
}

void TNetworkCommands::ShutOffAt(double x, double y) {
  try {
    const auto graph = WaterNetwork();
    TCustomLayer* pipes = LayerOfFile(*Map, "Water.mds");
    if (!pipes) {
      base::UserMessages::Current().ShowMessage(
          QString::fromUtf8("Шару водопроводу (Water.mds) на карті немає"));
      return;
    }
    int record = -1;
    for (const TIdentifiedObject& o : Map->ObjectsAt(x, y))
      if (o.Layer == pipes && o.RecordIndex >= 0) {
        record = o.RecordIndex;
        break;
      }
    if (record < 0) {
      Form.pnlMode->setText(QString::fromUtf8("Відключення ділянки: тут немає труби водопроводу"));
      return;
    }
    int64_t code = -1;
    for (const auto& p : graph->Pipes())
      if (p.Record == record) code = p.Code;
    if (!ShutOff) {
      ShutOff = std::make_unique<TFormShutOff>(&Form);
      ShutOff->OnResult = [this](const network::TNetworkGraph& g, const network::TShutOff& r) {
        MarkShutOff(g, r);
      };
      ShutOff->OnShowItem = [this](TFormShutOff::ItemKind kind, int index) {
        const QString file = kind == TFormShutOff::PipeItem   ? QString("Water.mds")
                             : kind == TFormShutOff::NodeItem ? WaterGraph->Source().NodesTable
                             : Buildings                      ? Buildings->LayerFile()
                                                              : QString();
        TCustomLayer* layer = LayerOfFile(*Map, file);
        if (!layer) return;
        Map->ShowLayerRecord(*layer, index);
        MarkShutOff(*WaterGraph, ShutOff->Result());
      };
    }
    const network::TNetworkSettings settings = network::TNetworkSettings::Read(Data.BaseDir);
    QString note;
    const auto buildings = AtlasBuildings(settings, note);
    ShutOff->ShowShutOff(graph, settings, code, buildings, note);
    ShutOff->show();
    ShutOff->raise();
  } catch (const std::exception& e) {
    base::UserMessages::Current().ShowMessage(QString::fromUtf8(e.what()));
  }
}

void TNetworkCommands::MarkShutOff(const network::TNetworkGraph& graph,
                                   const network::TShutOff& result) {
  // The dry pipes and the valves to close are the map's selection, marked over the map.
  std::vector<TSelectedObject> marks;
  const TCustomLayer* pipes = LayerOfFile(*Map, "Water.mds");
  const TCustomLayer* nodes = LayerOfFile(*Map, graph.Source().NodesTable);
  if (pipes)
    for (const int pipe : result.DryPipes)
      marks.push_back({pipes->Category, pipes->Class, graph.Pipes()[size_t(pipe)].Record});
  if (nodes)
    for (const int node : result.Valves)
      marks.push_back({nodes->Category, nodes->Class, graph.Nodes()[size_t(node)].Row});
  if (const TCustomLayer* houses = Buildings ? LayerOfFile(*Map, Buildings->LayerFile()) : nullptr)
    for (const network::TLostBuilding& b : result.Buildings)
      marks.push_back({houses->Category, houses->Class, b.Record});
  ShutOffMarks = marks;
  Map->SetSelection(std::move(marks));
}

bool TNetworkCommands::ShutOffMarked() const {
  return ShutOff && !ShutOffMarks.empty() && Map->Selection == ShutOffMarks;
}

void TNetworkCommands::miClearMarksClick() {
  Map->ClearSelection();
  ShutOffMarks.clear();
  Map->Paint();
}

std::shared_ptr<const network::TBuildings>
TNetworkCommands::AtlasBuildings(const network::TNetworkSettings& settings, QString& note) {
  if (!settings.Buildings) {
    note = QString::fromUtf8("Будинки без води не визначено: у BASE\\%1 не вказано шару будинків "
                             "([Network] Buildings=).")
               .arg(network::TNetworkSettings::FileName);
    return nullptr;
  }
  try {
    // Read again when the settings or any of the layers' files changed since.
    QStringList files{base::ResolvePath(Data.BaseDir, network::TNetworkSettings::FileName)};
    for (const network::TLayerClass layer : {settings.Buildings, settings.Addresses})
      if (const auto file = layer
                                ? network::FindLayerFile(Data.BaseDir, layer.Category, layer.Class)
                                : std::nullopt)
        files << base::ResolvePath(Data.MapsDir, *file)
              << base::ResolvePath(Data.MapsDir, QFileInfo(*file).completeBaseName() + ".dbf");
    const QString stamp = StampOf(files);
    if (!Buildings || stamp != BuildingsStamp) {
      Buildings = network::TBuildings::Load(Data.BaseDir, Data.MapsDir, settings);
      BuildingsStamp = stamp;
    }
    return Buildings;
  } catch (const std::exception& e) {
    // The valves and the connections are listed all the same.
    note = QString::fromUtf8("Будинки без води не визначено: %1").arg(QString::fromUtf8(e.what()));
    return nullptr;
  }
}

void TNetworkCommands::miNetworkCheckClick() {
  std::vector<TFormNetworkCheck::Network> networks;
  try {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    for (const network::TNetworkKind& kind : {network::kWaterNetwork, network::kSewerNetwork}) {
      const network::TNetworkSource source = network::SourceOf(Data.BaseDir, Data.MapsDir, kind);
      const auto graph = network::TNetworkGraph::Load(source);
      const network::TNetworkCheck check = network::CheckNetwork(*graph);
      TFormNetworkCheck::Network& n = networks.emplace_back();
      n.Title = QString::fromUtf8("%1 (%2)").arg(QString::fromUtf8(kind.Name), kind.PipesTable);
      n.Summary = QString::fromUtf8("Зв'язних частин: %1; кінців труб без вузла: %2; вузлів без "
                                    "труб: %3; пар вузлів ближче 1 см: %4; труб з одним вузлом "
                                    "на обох кінцях: %5")
                      .arg(check.Pieces.size())
                      .arg(check.OpenEnds.size())
                      .arg(check.LonelyNodes.size())
                      .arg(check.CloseNodes.size())
                      .arg(check.Loops.size());
      n.PipesFile = QFileInfo(kind.PipesTable).completeBaseName() + ".mds";
      n.NodesFile = source.NodesTable;
      n.Findings = network::NetworkCheckFindings(*graph, check);
    }
    QApplication::restoreOverrideCursor();
  } catch (const std::exception& e) {
    QApplication::restoreOverrideCursor();
    base::UserMessages::Current().ShowMessage(QString::fromUtf8(e.what()));
    return;
  }
  auto* window = new TFormNetworkCheck(&Form);
  window->setAttribute(Qt::WA_DeleteOnClose);
  window->OnShow = [this](const QString& file, const std::vector<int>& records) {
    if (TCustomLayer* layer = LayerOfFile(*Map, file)) Map->ShowLayerRecords(*layer, records);
  };
  window->ShowNetworks(std::move(networks));
  window->show();
}

void TNetworkCommands::miExportEpanetClick() {
  // The file dialog asks before it replaces a file.
  const QString path = QFileDialog::getSaveFileName(
      &Form, QString::fromUtf8("Експорт мережі в EPANET"), QDir::home().filePath("water.inp"),
      QString::fromUtf8("Модель EPANET (*.inp)"));
  if (path.isEmpty()) return;
  const bool withShutOff =
      ShutOffMarked() &&
      QMessageBox::question(&Form, QString::fromUtf8("Експорт мережі в EPANET"),
                            QString::fromUtf8("Записати модель з відключенням труби %1 (труби "
                                              "при засувках закрито)?")
                                .arg(ShutOff->Pipe())) == QMessageBox::Yes;
  ExportEpanetTo(path, withShutOff);
}

bool TNetworkCommands::ExportEpanetTo(const QString& path, bool withShutOff) {
  network::TEpanetModel model;
  try {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    network::TEpanetOptions options;
    options.Title = base::RootName(Data.DataRoot);
    if (withShutOff) {
      options.IsolatePipe = ShutOff->Pipe();
      options.FailedValves = ShutOff->FailedValves();
    }
    model = network::BuildEpanetModel(Data.BaseDir, Data.MapsDir,
                                      network::TNetworkSettings::Read(Data.BaseDir), options);
    base::WriteFileAtomically(path, model.Text);
    QApplication::restoreOverrideCursor();
  } catch (const std::exception& e) {
    QApplication::restoreOverrideCursor();
    base::UserMessages::Current().ShowMessage(QString::fromUtf8(e.what()));
    return false;
  }
  auto* window = new QDialog(&Form);
  window->setObjectName("FormEpanetExport");
  window->setAttribute(Qt::WA_DeleteOnClose);
  window->setWindowTitle(QString::fromUtf8("Експорт мережі в EPANET"));
  window->resize(640, 420);
  auto* layout = new QVBoxLayout(window);
  auto* summary = new QLabel(
      QString::fromUtf8("Записано %1: вузлів %2, джерел %3, труб %4 (закрито %5); не записано — "
                        "%6.")
          .arg(path)
          .arg(model.Junctions)
          .arg(model.Reservoirs)
          .arg(model.Pipes)
          .arg(model.ClosedPipes)
          .arg(model.LeftOut.size()),
      window);
  summary->setObjectName("lblSummary");
  summary->setWordWrap(true);
  layout->addWidget(summary);
  auto* details = new QPlainTextEdit(window);
  details->setObjectName("edDetails");
  details->setReadOnly(true);
  details->setPlainText(model.Notes.join('\n') + QString::fromUtf8("\n\nНе записано:\n") +
                        model.LeftOut.join('\n'));
  layout->addWidget(details, 1);
  window->show();
  return true;
}

void TNetworkCommands::miNetworkSettingsClick() {
  TFormNetworkSettings window(Data, &Form);
  window.exec();
}
