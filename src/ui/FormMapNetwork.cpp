// The main window's network commands: shutting off a water pipe picked on the map, and the
// check of both networks' models.

#include "FormMap.h"
#include "FormNetworkSettings.h"
#include "FormShutOff.h"

#include "base/PathResolver.h"
#include "base/UserMessages.h"
#include "core/FAMap.h"
#include "core/Identify.h"
#include "data/DataModule.h"
#include "network/NetworkCheck.h"

#include <QApplication>
#include <QDateTime>
#include <QFileInfo>
#include <QLabel>
#include <QTextEdit>
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

std::shared_ptr<const network::TNetworkGraph> TFormMap::WaterNetwork() {
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

void TFormMap::miShutOffClick() {
  ToggleToolPanel(0);
  SetToolMode(41);
  Map->Mode = TFAMap::ModeShutOff;
  Map->SetCursorNumber(0);
}

void TFormMap::ShutOffAt(double x, double y) {
  try {
    const auto graph = WaterNetwork();
    TCustomLayer* pipes = LayerOfFile(*Map, "Water.mds");
    if (!pipes) {
      base::UserMessages::Current().ShowMessage(
          QString::fromUtf8("Шару водопроводу (Water.mds) на карті немає"));
      return;
    }
    int record = -1;
    for (const TIdentifiedObject& o : Map->IdentifyAt(x, y))
      if (o.Layer == pipes && o.RecordIndex >= 0) {
        record = o.RecordIndex;
        break;
      }
    if (record < 0) {
      pnlMode->setText(QString::fromUtf8("Відключення ділянки: тут немає труби водопроводу"));
      return;
    }
    int64_t code = -1;
    for (const auto& p : graph->Pipes())
      if (p.Record == record) code = p.Code;
    if (!ShutOff) {
      ShutOff = std::make_unique<TFormShutOff>(this);
      ShutOff->OnResult = [this](const network::TNetworkGraph& g, const network::TShutOff& r) {
        MarkShutOff(g, r);
      };
      ShutOff->OnShowItem = [this](bool pipe, int index) {
        TCustomLayer* layer = pipe ? LayerOfFile(*Map, "Water.mds")
                                   : LayerOfFile(*Map, WaterGraph->Source().NodesTable);
        if (!layer) return;
        Map->ShowLayerRecord(*layer, index);
        MarkShutOff(*WaterGraph, ShutOff->Result());
      };
    }
    ShutOff->ShowShutOff(graph, network::TNetworkSettings::Read(Data.BaseDir), code);
    ShutOff->show();
    ShutOff->raise();
  } catch (const std::exception& e) {
    base::UserMessages::Current().ShowMessage(QString::fromUtf8(e.what()));
  }
}

void TFormMap::MarkShutOff(const network::TNetworkGraph& graph, const network::TShutOff& result) {
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
  Map->SetSelection(std::move(marks));
}

void TFormMap::miNetworkCheckClick() {
  QString text;
  try {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    for (const network::TNetworkKind& kind : {network::kWaterNetwork, network::kSewerNetwork}) {
      const auto graph =
          network::TNetworkGraph::Load(network::SourceOf(Data.BaseDir, Data.MapsDir, kind));
      const network::TNetworkCheck check = network::CheckNetwork(*graph);
      text += QString::fromUtf8("%1 (%2)\n").arg(QString::fromUtf8(kind.Name), kind.PipesTable);
      text += QString::fromUtf8("  зв'язних частин: %1; кінців труб без вузла: %2; вузлів без "
                                "труб: %3; пар вузлів ближче 1 см: %4; труб з одним вузлом на "
                                "обох кінцях: %5\n")
                  .arg(check.Pieces.size())
                  .arg(check.OpenEnds.size())
                  .arg(check.LonelyNodes.size())
                  .arg(check.CloseNodes.size())
                  .arg(check.Loops.size());
      for (const QString& line : network::NetworkCheckCsv(*graph, check))
        text += "  " + line + "\n";
    }
    QApplication::restoreOverrideCursor();
  } catch (const std::exception& e) {
    QApplication::restoreOverrideCursor();
    base::UserMessages::Current().ShowMessage(QString::fromUtf8(e.what()));
    return;
  }
  auto* window = new QDialog(this);
  window->setObjectName("FormNetworkCheck");
  window->setAttribute(Qt::WA_DeleteOnClose);
  window->setWindowTitle(QString::fromUtf8("Перевірка мережі"));
  window->resize(640, 480);
  auto* layout = new QVBoxLayout(window);
  auto* report = new QTextEdit(window);
  report->setObjectName("edReport");
  report->setReadOnly(true);
  report->setPlainText(text);
  layout->addWidget(report);
  window->show();
}

void TFormMap::miNetworkSettingsClick() {
  TFormNetworkSettings window(Data, this);
  window.exec();
}
