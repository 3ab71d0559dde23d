// "Таблиця атрибутів" through the main window: opened from the layers panel's menu on the water
// pipes, every row in the grid, a click on a header sorts by that column (again: the other
// way), a text filters the rows, the rows chosen are the map's selection and are marked on the
// screen, and the CSV holds the shown rows as RFC 4180 says.

#include "app/DataModule.h"
#include "core/FAMap.h"
#include "ui/CatClass.h"
#include "ui/FormAttributeTable.h"
#include "ui/FormMap.h"
#include "ui/LayerPanels.h"

#include "ProgramWindows.h"
#include "db/Table.h"

#include <QAction>
#include <QApplication>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

namespace {

QString Cell(const QTableView& grid, int row, int column) {
  return grid.model()->index(row, column).data().toString();
}

int Column(const QTableView& grid, const QString& name) {
  for (int c = 0; c < grid.model()->columnCount(); ++c)
    if (grid.model()->headerData(c, Qt::Horizontal).toString() == name) return c;
  return -1;
}

} // namespace

TEST(AttributeTable, SortFilterChooseAndExportTheWaterPipes) {
  DemoMainWindow program(1000, 700, [](const QString& atlas) {
    {
      // A street with a separator and quotes in its name, on a cast-iron pipe.
      db::Table water(atlas + "/MAPS", "Water.dbf");
      water.Open();
      water.Edit();
      water.FieldByName("STREET").SetAsString(QString::fromUtf8("Нова, \"Б\""));
      water.FieldByName("MATERIAL").SetAsString(QString::fromUtf8("чавун"));
      water.Post();
    }
  });
  ASSERT_TRUE(program.Exposed);
  TFormMap& form = *program.Form;
  const QTemporaryDir& atlas = program.Atlas;
  TFAMap& map = *form.Map;
  TCustomLayer* pipes = nullptr;
  for (const auto& layer : map.Layers)
    if (layer->FileName.compare("Water.mds", Qt::CaseInsensitive) == 0) pipes = layer.get();
  ASSERT_NE(pipes, nullptr);
  // The pipes' line of the layers page, chosen as a click chooses it, then the menu's command.
  form.pgctlLayers->setCurrentWidget(form.lboxLayers);
  int line = -1;
  for (size_t i = 0; i < form.Panels->LayerNodes.size(); ++i) {
    const auto& node = static_cast<TClassObject&>(*form.Panels->LayerNodes[i].Node);
    if (node.Category == pipes->Category && node.Class == pipes->Class) line = int(i);
  }
  ASSERT_GE(line, 0);
  form.lboxLayers->setCurrentRow(line);
  form.Panels->Action("ppmiAttributes")->trigger();
  auto* window = dynamic_cast<TFormAttributeTable*>(form.findChild<QDialog*>("FormAttributeTable"));
  ASSERT_NE(window, nullptr);
  ASSERT_TRUE(QTest::qWaitForWindowExposed(window));
  QTableView& grid = *window->grdRows;
  db::Table rows(atlas.path() + "/MAPS", "Water.dbf");
  rows.Open();
  ASSERT_EQ(grid.model()->rowCount(), rows.RecordCount());

  // Sorting: a click on the header of YEAR, then another for the other way.
  const int year = Column(grid, "YEAR");
  ASSERT_GE(year, 0);
  const auto clickHeader = [&](int column) {
    QHeaderView* header = grid.horizontalHeader();
    const int x = header->sectionViewportPosition(column) + header->sectionSize(column) / 2;
    QTest::mouseClick(header->viewport(), Qt::LeftButton, {}, {x, header->height() / 2});
  };
  grid.scrollTo(grid.model()->index(0, year));
  clickHeader(year);
  std::vector<int> years;
  for (int r = 0; r < grid.model()->rowCount(); ++r)
    years.push_back(Cell(grid, r, year).toInt());
  EXPECT_TRUE(std::is_sorted(years.begin(), years.end()));
  EXPECT_LT(years.front(), years.back());
  clickHeader(year);
  EXPECT_EQ(Cell(grid, 0, year).toInt(), years.back()) << "descending the second time";

  // Filtering by a material: only rows that hold the text, in the order chosen.
  const int material = Column(grid, "MATERIAL");
  window->edFilter->setFocus();
  QKeyEvent typed(QEvent::KeyPress, 0, Qt::NoModifier, QString::fromUtf8("чавун"));
  QApplication::sendEvent(window->edFilter, &typed);
  QTest::keyClick(window->edFilter, Qt::Key_Return);
  const int shown = grid.model()->rowCount();
  ASSERT_GT(shown, 0);
  ASSERT_LT(shown, rows.RecordCount());
  for (int r = 0; r < shown; ++r)
    ASSERT_EQ(Cell(grid, r, material), QString::fromUtf8("чавун"));
  EXPECT_GE(Cell(grid, 0, year).toInt(), Cell(grid, shown - 1, year).toInt());

  // Choosing rows makes them the map's selection (by their records).
  grid.selectRow(0);
  const int code = Cell(grid, 0, Column(grid, "OBJECTCODE")).toInt();
  ASSERT_EQ(map.Selection.size(), 1u);
  EXPECT_EQ(map.Selection[0].Category, pipes->Category);
  rows.SetRecNo(rows.PositionOfRecord(map.Selection[0].ObjectIndex) + 1);
  EXPECT_EQ(rows.FieldByName("OBJECTCODE").AsInteger(), code) << "the row chosen is the record";

  // "Показати на карті" shows the pipe where the pipes are drawn.
  const TExtent& full = map.World.FullExtent;
  const double span = std::max(full.XMax - full.XMin, full.YMax - full.YMin) * 20;
  map.World.ViewExtent = {full.XMin - span, full.YMin - span, full.XMax + span, full.YMax + span};
  map.Redraw();
  ASSERT_FALSE(pipes->ScaleAllowsDrawing(map.World.Scale)) << "far out the pipes are not drawn";
  QTest::mouseClick(window->btnShow, Qt::LeftButton);
  EXPECT_TRUE(pipes->ScaleAllowsDrawing(map.World.Scale));
  // The chosen pipe is marked on the screen, over the map and not in it, until the choice goes.
  map.HideArrow();
  map.Paint();
  EXPECT_TRUE(map.Screen != map.BackBuffer) << "the selection is marked";
  grid.clearSelection();
  EXPECT_TRUE(map.Selection.empty());
  map.HideArrow();
  map.Paint();
  EXPECT_TRUE(map.Screen == map.BackBuffer) << "no selection, no mark";
  // Escape on the map lets a selection go too.
  grid.selectRow(1);
  ASSERT_EQ(map.Selection.size(), 1u);
  QTest::keyClick(&map, Qt::Key_Escape);
  EXPECT_TRUE(map.Selection.empty());
  EXPECT_FALSE(grid.selectionModel()->hasSelection()) << "the table's choice follows the map";
  map.HideArrow();
  map.Paint();
  EXPECT_TRUE(map.Screen == map.BackBuffer);

  // CSV: the header, then the shown rows, CRLF line ends, UTF-8.
  const QByteArray csv = window->Csv();
  const QList<QByteArray> lines = csv.split('\n');
  EXPECT_EQ(lines.size(), shown + 2) << "a line per row, the header, and the end";
  EXPECT_TRUE(lines[0].startsWith("OBJECTCODE,HUB1CODE,HUB2CODE,DIAMETER,MATERIAL"));
  EXPECT_TRUE(lines[0].endsWith("\r"));
  EXPECT_TRUE(lines[1].contains(QString::fromUtf8(",чавун,").toUtf8())) << lines[1].toStdString();
  EXPECT_TRUE(csv.contains(QString::fromUtf8(",\"Нова, \"\"Б\"\"\"\r\n").toUtf8()))
      << "a field with a separator or quotes is quoted, its quotes doubled";
}
