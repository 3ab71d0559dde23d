// The network tools through the main window on the demo city: "Відключення ділянки" picks a
// main with a click, lists its valves, connections and dry pipes, marks them on the map, and a
// valve ticked as not closing widens the result at once, the buildings that lose water are
// listed and marked until the marks are taken off; "Перевірка мережі" lists both networks'
// findings, each shown on the map by a double click.

#include "core/FAMap.h"
#include "layers/GeometryFile.h"
#include "network/ShutOff.h"
#include "ui/main/FormMap.h"
#include "ui/main/NetworkCommands.h"
#include "ui/network/FormNetworkCheck.h"
#include "ui/network/FormNetworkSettings.h"
#include "ui/network/FormShutOff.h"

#include "ProgramWindows.h"

#include <QAction>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFile>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <gtest/gtest.h>

namespace {

// The middle of the first segment of a pipe's geometry record.
TWorldPoint OnPipe(const QString& file, int record) {
  TGeometryFile geometry(file);
  TGeometryFile::Record r;
  if (!geometry.Seek(record, r)) return {};
  const TGeometryFile::Parts parts = geometry.ReadParts(r);
  const TWorldPoint a = geometry.PointAt(parts, 0), b = geometry.PointAt(parts, 1);
  return {(a.X + b.X) / 2, (a.Y + b.Y) / 2};
}

} // namespace

TEST(NetworkTools, AShutOffIsPickedOnTheMapListedMarkedAndWidenedByAFailedValve) {
  DemoMainWindow shown(1100, 760);
  ASSERT_TRUE(shown.Exposed);
  TFormMap& form = *shown.Form;
  TFAMap& map = *form.Map;
  const auto graph = network::TNetworkGraph::Load(network::SourceOf(
      shown.Atlas.path() + "/BASE", shown.Atlas.path() + "/MAPS", network::kWaterNetwork));
  // A main of the middle of the table, long enough to click.
  int pipe = -1;
  for (int p = int(graph->Pipes().size()) / 2; p < int(graph->Pipes().size()) && pipe < 0; ++p)
    if (graph->PipeLength(p) > 40 && graph->PipeLabel(p).contains(QString::fromUtf8("Ø1")))
      pipe = p;
  ASSERT_GE(pipe, 0);
  const TWorldPoint at =
      OnPipe(shown.Atlas.path() + "/MAPS/Water.mds", graph->Pipes()[size_t(pipe)].Record);
  map.World.ViewExtent = {at.X - 100, at.Y - 70, at.X + 100, at.Y + 70};
  map.Redraw();
  form.Action("miShutOff")->trigger();
  EXPECT_EQ(map.Mode, TFAMap::ModeShutOff);
  QTest::mouseClick(&map, Qt::LeftButton, {},
                    QPoint(map.World.WorldToScreenX(at.X), map.World.WorldToScreenY(at.Y)));
  auto* window = dynamic_cast<TFormShutOff*>(form.findChild<QDialog*>("FormShutOff"));
  ASSERT_NE(window, nullptr);
  ASSERT_TRUE(window->isVisible());
  const network::TNetworkSettings settings =
      network::TNetworkSettings::Read(shown.Atlas.path() + "/BASE");
  network::TShutOff expected =
      network::ShutOffPipe(*graph, settings, graph->Pipes()[size_t(pipe)].Code);
  network::FindLostBuildings(*graph,
                             *network::TBuildings::Load(shown.Atlas.path() + "/BASE",
                                                        shown.Atlas.path() + "/MAPS", settings),
                             expected);
  ASSERT_FALSE(expected.Buildings.empty());
  EXPECT_EQ(window->tvValves->topLevelItemCount(), int(expected.Valves.size()));
  EXPECT_EQ(window->tvPipes->topLevelItemCount(), int(expected.DryPipes.size()));
  EXPECT_EQ(window->tvConnections->topLevelItemCount(), int(expected.Connections.size()));
  EXPECT_TRUE(
      window->lblSummary->text().contains(QString::number(graph->Pipes()[size_t(pipe)].Code)));
  EXPECT_EQ(window->tvBuildings->topLevelItemCount(),
            int(expected.Buildings.size() + expected.OpenEnds.size() +
                expected.UnplacedConnections.size()));
  // Marked on the map: every dry pipe, every valve and every building.
  EXPECT_EQ(map.Selection.size(),
            expected.DryPipes.size() + expected.Valves.size() + expected.Buildings.size());
  // CSV: the header, then a line per item.
  const QByteArray csv = window->Csv();
  EXPECT_TRUE(csv.startsWith("kind,number,label\r\npipe,"));
  EXPECT_EQ(csv.count('\n'), 1 + expected.DryPipes.size() + expected.Valves.size() +
                                 expected.Connections.size() + expected.OpenEnds.size() +
                                 expected.Buildings.size());
  // A valve that will not close: ticked with the mouse, the result grows past it; ticked off
  // again, it is as before. The lists are filled again under the clicks each time.
  ASSERT_GT(window->tvValves->topLevelItemCount(), 0);
  window->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
  const auto tick = [&](int row) {
    const QRect box = window->tvValves->visualItemRect(window->tvValves->topLevelItem(row));
    QTest::mouseClick(window->tvValves->viewport(), Qt::LeftButton, {},
                      QPoint(box.left() + 10, box.center().y()));
    QTest::qWait(50);
  };
  // Any later receiver of the tick (Qt's own code among them) must still find the item alive.
  QStringList ticked;
  QObject::connect(window->tvValves, &QTreeWidget::itemChanged, window,
                   [&](QTreeWidgetItem* item) { ticked << item->text(0); });
  for (int round = 0; round < 3; ++round) {
    tick(0);
    ASSERT_EQ(window->Result().FailedValves.size(), 1u) << "round " << round;
    tick(window->tvValves->topLevelItemCount() - 1); // the failed valve comes last
    ASSERT_EQ(window->Result().FailedValves.size(), 0u) << "round " << round;
    EXPECT_EQ(window->Result().DryPipes.size(), expected.DryPipes.size());
  }
  tick(0);
  EXPECT_EQ(window->Result().FailedValves.size(), 1u);
  EXPECT_FALSE(ticked.isEmpty());
  EXPECT_GT(window->Result().DryPipes.size(), expected.DryPipes.size());
  const auto marks = [&] {
    return window->Result().DryPipes.size() + window->Result().Valves.size() +
           window->Result().Buildings.size();
  };
  EXPECT_EQ(map.Selection.size(), marks());
  // A double click on a pipe shows it; the marks stay the result's.
  QTreeWidgetItem* first = window->tvPipes->topLevelItem(0);
  window->tvPipes->itemDoubleClicked(first, 0);
  EXPECT_EQ(map.Selection.size(), marks());
  // With the window closed the marks stay until taken off; the print window offers the list.
  window->close();
  EXPECT_TRUE(form.NetworkCommands->ShutOffMarked());
  // The model for the solver with the shut-off applied: the pipes at its valves closed.
  const QString model = shown.Atlas.path() + "/shut.inp";
  ASSERT_TRUE(form.NetworkCommands->ExportEpanetTo(model, true));
  QFile written(model);
  ASSERT_TRUE(written.open(QIODevice::ReadOnly));
  EXPECT_GE(written.readAll().count("\tClosed\n"), qsizetype(window->Result().Valves.size()));
  auto* report = form.findChild<QDialog*>("FormEpanetExport");
  ASSERT_NE(report, nullptr);
  EXPECT_TRUE(report->findChild<QLabel*>("lblSummary")->text().contains(model));
  form.Action("miClearMarks")->trigger();
  EXPECT_TRUE(map.Selection.empty());
  EXPECT_FALSE(form.NetworkCommands->ShutOffMarked());
}

TEST(NetworkTools, TheCheckListsBothNetworksAndShowsAFindingOnTheMap) {
  DemoMainWindow shown(900, 600);
  ASSERT_TRUE(shown.Exposed);
  shown.Form->Action("miNetworkCheck")->trigger();
  auto* window = shown.Form->findChild<TFormNetworkCheck*>("FormNetworkCheck");
  ASSERT_NE(window, nullptr);
  QTreeWidget& list = *window->tvFindings;
  ASSERT_EQ(list.topLevelItemCount(), 2);
  EXPECT_TRUE(list.topLevelItem(0)->text(0).contains("Water.dbf"));
  EXPECT_TRUE(list.topLevelItem(1)->text(0).contains("Kanaliz.dbf"));
  EXPECT_TRUE(
      list.topLevelItem(0)->child(0)->text(0).contains(QString::fromUtf8("Зв'язних частин: 1")));
  // The demo's water service pipes without an inlet: their open ends, shown by a double click.
  const QList<QTreeWidgetItem*> open = list.findItems(QString::fromUtf8("Відкритий кінець: труба"),
                                                      Qt::MatchStartsWith | Qt::MatchRecursive);
  ASSERT_FALSE(open.isEmpty());
  EXPECT_TRUE(open[0]->text(0).endsWith(QString::fromUtf8("кінцева точка")));
  TFAMap& map = *shown.Form->Map;
  // From a street's view elsewhere, the pipe is brought into view.
  const TExtent& all = map.World.FullExtent;
  map.World.ViewExtent = {all.XMin, all.YMin, all.XMin + 100, all.YMin + 70};
  map.Redraw();
  list.itemDoubleClicked(open[0], 0);
  ASSERT_EQ(map.Selection.size(), 1u);
  // The pipe, straight along an axis, shown at a street's scale.
  TExtent box;
  ASSERT_TRUE(map.Content.LayerOf(map.Selection[0].Category, map.Selection[0].Class)
                  ->RecordBox(map.Selection[0].ObjectIndex, box));
  EXPECT_LT(map.World.ScaleDenominator, 5000);
  EXPECT_TRUE(TWorld::PointInRect(map.World.VisibleExtent.XMin, map.World.VisibleExtent.YMin,
                                  map.World.VisibleExtent.XMax, map.World.VisibleExtent.YMax,
                                  box.XMin, box.YMin));
  // The CSV in the window's own words, as a spreadsheet shows it to the user.
  const QString csv = QString::fromUtf8(window->Csv());
  EXPECT_TRUE(csv.startsWith(QString::fromUtf8("Мережа,Знахідка\r\n")))
      << csv.left(200).toStdString();
  EXPECT_TRUE(csv.contains(QString::fromUtf8("Відкритий кінець: труба")))
      << csv.left(400).toStdString();
  EXPECT_FALSE(csv.contains("open-end"));
}

// The settings window shows the atlas's groups ticked as NETWORK.INI names them; in work mode 0
// "Зберегти" writes what is ticked, in the other modes nothing can be written.
TEST(NetworkTools, TheSettingsWindowWritesTheTickedGroupsInWorkMode0Only) {
  QTemporaryDir programDir, atlas;
  demo::WriteAtlas(atlas.path(), 1, 4);
  const QString ini = atlas.path() + "/BASE/NETWORK.INI";
  auto rowOf = [](TFormNetworkSettings& w, const char* key) {
    for (int i = 0; i < w.tvGroups->topLevelItemCount(); ++i)
      if (w.tvGroups->topLevelItem(i)->text(0).startsWith(key)) return w.tvGroups->topLevelItem(i);
    return static_cast<QTreeWidgetItem*>(nullptr);
  };
  {
    TDataModuleVANDREL data(programDir.path(), 0, atlas.path());
    TFormNetworkSettings window(data);
    QTreeWidgetItem* valves = rowOf(window, "100.1.3");
    QTreeWidgetItem* chambers = rowOf(window, "100.1.2");
    ASSERT_NE(valves, nullptr);
    ASSERT_NE(chambers, nullptr);
    EXPECT_EQ(valves->checkState(1), Qt::Checked);
    EXPECT_EQ(rowOf(window, "100.1.4")->checkState(2), Qt::Checked);
    EXPECT_EQ(chambers->checkState(1), Qt::Unchecked);
    chambers->setCheckState(1, Qt::Checked);
    // Where the buildings are: the layer chosen by its name, the tolerance typed.
    EXPECT_TRUE(window.cbBuildings->currentText().contains(QString::fromUtf8("Будинки")));
    window.cbAddresses->setCurrentIndex(0); // "(немає)"
    window.edTolerance->setValue(7.5);
    ASSERT_TRUE(window.Save());
    const network::TNetworkSettings back = network::TNetworkSettings::Read(atlas.path() + "/BASE");
    EXPECT_EQ(back.Valves, (std::vector<network::TNodeGroup>{{100, 1, 2}, {100, 1, 3}}));
    EXPECT_EQ(back.Connections, (std::vector<network::TNodeGroup>{{100, 1, 4}}));
    EXPECT_EQ(back.Sources, (std::vector<network::TNodeGroup>{{101, 2, 1}}));
    EXPECT_EQ(back.Buildings, (network::TLayerClass{2, 1}));
    EXPECT_FALSE(back.Addresses);
    EXPECT_DOUBLE_EQ(back.BuildingTolerance, 7.5);
    EXPECT_DOUBLE_EQ(back.SourceHead, 45) << "the keys the window does not show stay";
  }
  QFile file(ini);
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  const QByteArray before = file.readAll();
  file.close();
  TDataModuleVANDREL data(programDir.path(), 1, atlas.path());
  TFormNetworkSettings window(data);
  EXPECT_FALSE(window.btnSave->isVisibleTo(&window));
  rowOf(window, "100.1.2")->setCheckState(1, Qt::Unchecked);
  EXPECT_FALSE(window.Save());
  ASSERT_TRUE(file.open(QIODevice::ReadOnly));
  EXPECT_EQ(file.readAll(), before);
}
