// The "Що тут?" tool through the main window: the key I or the tool bar's button chooses it, a
// click on a well standing on its pipe lists the well first with the fields of its row, and the
// pipe and the building under it after; a click where nothing lies says so.

#include "core/FAMap.h"
#include "data/DataModule.h"
#include "layers/DBPointsLayer.h"
#include "ui/main/FormMap.h"
#include "ui/objects/FormIdentify.h"

#include "ProgramWindows.h"
#include "db/Table.h"

#include "network/NetworkGraph.h"
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QTreeWidget>

#include <QSet>
#include <gtest/gtest.h>

namespace {

QStringList TopLines(const QTreeWidget& tree) {
  QStringList lines;
  for (int i = 0; i < tree.topLevelItemCount(); ++i)
    lines << tree.topLevelItem(i)->text(0);
  return lines;
}

} // namespace

TEST(IdentifyTool, AClickListsEveryObjectUnderThePointer) {
  DemoMainWindow shown(1000, 700);
  ASSERT_TRUE(shown.Exposed);
  TFormMap& form = *shown.Form;
  const QTemporaryDir& atlas = shown.Atlas;
  TFAMap& map = *form.Map;
  db::Table wells(atlas.path() + "/MAPS", "WaterWells.db");
  wells.Open();
  wells.MoveBy(3);
  const double x = wells.FieldByName("X").AsFloat(), y = wells.FieldByName("Y").AsFloat();
  const QString code = wells.FieldByName("ObjectCode").AsString();
  map.World.ViewExtent = {x - 40, y - 30, x + 40, y + 30};
  map.Redraw();
  const QPoint at(map.World.WorldToScreenX(x), map.World.WorldToScreenY(y));
  ASSERT_TRUE(map.rect().contains(at));

  map.setFocus();
  QTest::keyClick(&map, Qt::Key_I);
  auto* button = form.findChild<QToolButton*>("sbIdentify");
  ASSERT_NE(button, nullptr);
  EXPECT_TRUE(button->isChecked()) << "the key chose the tool";
  QTest::mouseClick(&map, Qt::LeftButton, {}, at + QPoint(1, 0));
  // Found by name: the window class has no meta-object of its own.
  auto* window = dynamic_cast<TFormIdentify*>(form.findChild<QDialog*>("FormIdentify"));
  ASSERT_NE(window, nullptr);
  ASSERT_TRUE(window->isVisible());
  const QStringList lines = TopLines(*window->tvObjects);
  ASSERT_GE(lines.size(), 2) << lines.join(" | ").toStdString();
  EXPECT_TRUE(lines[0].endsWith(QString::fromUtf8("об'єкт ") + code)) << lines[0].toStdString();
  // Every pipe that ends at the well is listed, each once.
  const auto graph = network::TNetworkGraph::Load(
      network::SourceOf(atlas.path() + "/BASE", atlas.path() + "/MAPS", network::kWaterNetwork));
  const int node = graph->NodeOfCode(code.toLongLong());
  ASSERT_GE(node, 0);
  const QStringList pipes = lines.filter(QString::fromUtf8("Водопровідні мережі"));
  EXPECT_EQ(pipes.size(), int(graph->PipesAt(node).size())) << lines.join(" | ").toStdString();
  EXPECT_EQ(QSet<QString>(pipes.begin(), pipes.end()).size(), pipes.size());
  // The nearest object is open, its fields named as its table names them.
  QTreeWidgetItem* well = window->tvObjects->topLevelItem(0);
  EXPECT_TRUE(well->isExpanded());
  bool codeShown = false;
  for (int i = 0; i < well->childCount(); ++i)
    codeShown =
        codeShown || (well->child(i)->text(0) == "ObjectCode" && well->child(i)->text(1) == code);
  EXPECT_TRUE(codeShown);
  // The fields a person reads first come first, the program's own last; none is left out.
  QStringList names;
  for (int i = 0; i < well->childCount(); ++i)
    names << well->child(i)->text(0);
  EXPECT_EQ(names.value(0), "NAME") << names.join(",").toStdString();
  EXPECT_LT(names.indexOf("STREET"), names.indexOf("Category"));
  EXPECT_LT(names.indexOf("NUMBER"), names.indexOf("NUMGROUP"));
  EXPECT_EQ(names.size(), 12) << names.join(",").toStdString();
  // The nearest object is the selection, marked on the map; the next line chosen takes its place.
  ASSERT_EQ(map.Selection.size(), 1u);
  EXPECT_EQ(map.Selection[0].ObjectIndex, window->Objects()[0].RecordIndex);
  window->tvObjects->setCurrentItem(window->tvObjects->topLevelItem(1));
  ASSERT_EQ(map.Selection.size(), 1u);
  EXPECT_EQ(map.Selection[0].Category, window->Objects()[1].Layer->Category);
  // A pipe has no card: a double click says so in the status bar.
  QTreeWidgetItem* pipe = nullptr;
  for (int i = 0; i < window->tvObjects->topLevelItemCount() && !pipe; ++i)
    if (window->tvObjects->topLevelItem(i)->text(0).contains(QString::fromUtf8("мережі")))
      pipe = window->tvObjects->topLevelItem(i);
  ASSERT_NE(pipe, nullptr);
  window->tvObjects->scrollToItem(pipe);
  QTest::qWait(20);
  const QRect row = window->tvObjects->visualItemRect(pipe);
  // As the pointer does it: a click, then the second press that makes it double.
  QTest::mouseClick(window->tvObjects->viewport(), Qt::LeftButton, {}, row.center());
  QTest::mouseDClick(window->tvObjects->viewport(), Qt::LeftButton, {}, row.center());
  EXPECT_TRUE(form.pnlMode->text().contains(QString::fromUtf8("немає картки об'єкта")))
      << form.pnlMode->text().toStdString();

  // Far outside the city nothing lies under the pointer.
  map.World.ViewExtent = {x + 1e5, y, x + 1e5 + 80, y + 60};
  map.Redraw();
  QTest::mouseClick(&map, Qt::LeftButton, {}, map.rect().center());
  EXPECT_EQ(TopLines(*window->tvObjects), QStringList{QString::fromUtf8("Нічого не знайдено")});
  // Another tool lets the button up.
  form.sbZoomInClick();
  EXPECT_FALSE(button->isChecked());
}

// A layer's error with a long reason in the status bar is cut to the bar's width: the window
// keeps the width it was given.
TEST(StatusBar, ALongMessageIsCutAndNeverWidensTheWindow) {
  DemoMainWindow shown(900, 600);
  ASSERT_TRUE(shown.Exposed);
  TFormMap& form = *shown.Form;
  const int width = form.width();
  const QString reason = QString("/atlas/MAPS/") + QString(3000, QChar('x')) + ".mds";
  form.Map->Events.OnLayerError(0, reason);
  QApplication::processEvents();
  EXPECT_LE(form.minimumSizeHint().width(), width);
  EXPECT_EQ(form.width(), width);
  auto* label = form.findChild<QLabel*>("pnlMode");
  ASSERT_NE(label, nullptr);
  EXPECT_TRUE(label->text().endsWith(".mds")) << "the whole text is kept";
  EXPECT_LT(label->width(), 900);
}

// The tool's key works wherever the focus is in the main window, also in a panel's list (whose
// lines have no text to search by typing).
TEST(IdentifyTool, ItsKeyWorksWhileAPanelListHasTheFocus) {
  DemoMainWindow shown(1000, 700);
  ASSERT_TRUE(shown.Exposed);
  TFormMap& form = *shown.Form;
  auto* button = form.findChild<QToolButton*>("sbIdentify");
  ASSERT_NE(button, nullptr);
  for (QListWidget* list : {form.lboxObjects, form.lboxLayers}) {
    form.sbZoomInClick();
    form.pgctlLayers->setCurrentWidget(list);
    list->setFocus();
    QApplication::processEvents();
    ASSERT_TRUE(list->hasFocus());
    QTest::keyClick(list, Qt::Key_I);
    EXPECT_TRUE(button->isChecked()) << list->objectName().toStdString();
  }
}

// An address found by the search is shown where the search window does not cover it.
TEST(SearchWindow, TheHouseShownIsNotUnderTheSearchWindow) {
  QTemporaryDir programDir, atlas;
  demo::WriteAtlas(atlas.path(), 1, 9);
  TDataModuleVANDREL data(programDir.path(), 0, atlas.path());
  Program p(data);
  p.Form.resize(1100, 760);
  p.Form.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&p.Form));
  p.Form.Button("sbAddress")->click();
  QApplication::processEvents();
  TFormObjList& list = p.List;
  ASSERT_TRUE(list.isVisible());
  list.edtNameStr->setText(QString::fromUtf8("Ш"));
  QTest::mouseClick(list.sbGoSearch, Qt::LeftButton);
  list.DBGridSearchCellClick();
  TFAMap& map = *p.Form.Map;
  // The search window over the middle of the map, where a house shown is centred.
  list.move(map.mapToGlobal(map.rect().center()) - QPoint(list.width() / 2, list.height() / 2));
  QApplication::processEvents();
  QTest::mouseClick(list.sbOnMap, Qt::LeftButton);
  const QPoint house = map.mapToGlobal(
      QPoint(map.World.WorldToScreenX(map.Arrow.X()), map.World.WorldToScreenY(map.Arrow.Y())));
  EXPECT_TRUE(QRect(map.mapToGlobal(QPoint(0, 0)), map.size()).contains(house));
  EXPECT_FALSE(list.frameGeometry().contains(house))
      << house.x() << "," << house.y() << " under the search window";
}
