// "Таблиця атрибутів" through the main window: opened from the layers panel's menu on the water
// pipes, every row in the grid, a click on a header sorts by that column (again: the other
// way), a text filters the rows, the rows chosen are the map's selection and are marked on the
// screen, and the CSV holds the shown rows as RFC 4180 says.

#include "core/CatClass.h"
#include "core/FAMap.h"
#include "data/DataModule.h"
#include "ui/main/FormMap.h"
#include "ui/objects/FormAttributeTable.h"
#include "ui/panels/LayerPanels.h"

#include "ProgramWindows.h"
#include "base/UserMessages.h"
#include "db/Table.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QHeaderView>
#include <QItemSelectionModel>
#include <QLabel>
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

TCustomLayer* LayerOf(TFAMap& map, const char* file) {
  for (const auto& layer : map.Layers)
    if (layer->FileName.compare(file, Qt::CaseInsensitive) == 0) return layer.get();
  return nullptr;
}

// The layer's line of the layers page, chosen as a click chooses it, then the menu's command.
TFormAttributeTable* OpenTable(TFormMap& form, const TCustomLayer& layer) {
  form.pgctlLayers->setCurrentWidget(form.lboxLayers);
  for (size_t i = 0; i < form.Panels->LayerNodes.size(); ++i) {
    const auto& node = static_cast<TClassObject&>(*form.Panels->LayerNodes[i].Node);
    if (node.Category == layer.Category && node.Class == layer.Class)
      form.lboxLayers->setCurrentRow(int(i));
  }
  form.Panels->Action("ppmiAttributes")->trigger();
  auto* window = dynamic_cast<TFormAttributeTable*>(form.findChild<QDialog*>("FormAttributeTable"));
  if (window && !QTest::qWaitForWindowExposed(window)) return nullptr;
  return window;
}

void Type(QWidget* widget, const QString& text) {
  QKeyEvent typed(QEvent::KeyPress, 0, Qt::NoModifier, text);
  QApplication::sendEvent(widget, &typed);
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
      // A long name, wider than a column of the table's default width.
      water.Next();
      water.Edit();
      water.FieldByName("STREET").SetAsString(QString::fromUtf8("Героїв Оборони Києва провулок"));
      water.Post();
    }
  });
  ASSERT_TRUE(program.Exposed);
  TFormMap& form = *program.Form;
  const QTemporaryDir& atlas = program.Atlas;
  TFAMap& map = *form.Map;
  TCustomLayer* pipes = LayerOf(map, "Water.mds");
  ASSERT_NE(pipes, nullptr);
  TFormAttributeTable* window = OpenTable(form, *pipes);
  ASSERT_NE(window, nullptr);
  QTableView& grid = *window->grdRows;
  db::Table rows(atlas.path() + "/MAPS", "Water.dbf");
  rows.Open();
  ASSERT_EQ(grid.model()->rowCount(), rows.RecordCount());
  // No column's name is cut, nor a long street's name.
  for (int c = 0; c < grid.model()->columnCount(); ++c) {
    const QString name = grid.model()->headerData(c, Qt::Horizontal).toString();
    EXPECT_GE(grid.horizontalHeader()->sectionSize(c),
              grid.horizontalHeader()->fontMetrics().horizontalAdvance(name))
        << name.toStdString();
  }
  const int street = Column(grid, "STREET");
  ASSERT_GE(street, 0);
  EXPECT_GE(grid.columnWidth(street), grid.fontMetrics().horizontalAdvance(
                                          QString::fromUtf8("Героїв Оборони Києва провулок")));

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
  map.Arrow.Hide();
  map.Paint();
  EXPECT_TRUE(map.Screen != map.BackBuffer) << "the selection is marked";
  grid.clearSelection();
  EXPECT_TRUE(map.Selection.empty());
  map.Arrow.Hide();
  map.Paint();
  EXPECT_TRUE(map.Screen == map.BackBuffer) << "no selection, no mark";
  // Several rows chosen, far apart: the view holds every one of them.
  grid.selectRow(0);
  const int rowCount = grid.model()->rowCount();
  ASSERT_GE(rowCount, 3);
  for (const int row : {rowCount / 2, rowCount - 1})
    grid.selectionModel()->select(grid.model()->index(row, 0),
                                  QItemSelectionModel::Select | QItemSelectionModel::Rows);
  ASSERT_EQ(map.Selection.size(), 3u);
  QTest::mouseClick(window->btnShow, Qt::LeftButton);
  EXPECT_TRUE(pipes->ScaleAllowsDrawing(map.World.Scale));
  ASSERT_EQ(map.Selection.size(), 3u);
  for (const TSelectedObject& s : map.Selection) {
    TExtent box{};
    ASSERT_TRUE(pipes->RecordBox(s.ObjectIndex, box));
    const TExtent& v = map.World.VisibleExtent;
    EXPECT_TRUE(box.XMin >= v.XMin && box.XMax <= v.XMax && box.YMin >= v.YMin &&
                box.YMax <= v.YMax)
        << "record " << s.ObjectIndex;
  }
  grid.clearSelection();
  // Escape on the map lets a selection go too.
  grid.selectRow(1);
  ASSERT_EQ(map.Selection.size(), 1u);
  QTest::keyClick(&map, Qt::Key_Escape);
  EXPECT_TRUE(map.Selection.empty());
  EXPECT_FALSE(grid.selectionModel()->hasSelection()) << "the table's choice follows the map";
  map.Arrow.Hide();
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

// A condition in the atlas's SQL narrows the rows to exactly those the table holds so; one that
// cannot run is refused before any row is read, keeps the rows shown and says why; a condition
// cannot end the statement and start another.
TEST(AttributeTable, AConditionInTheAtlasSqlIsCheckedAndNarrowsTheRows) {
  DemoMainWindow program(1000, 700);
  ASSERT_TRUE(program.Exposed);
  TCustomLayer* pipes = LayerOf(*program.Form->Map, "Water.mds");
  ASSERT_NE(pipes, nullptr);
  TFormAttributeTable* window = OpenTable(*program.Form, *pipes);
  ASSERT_NE(window, nullptr);
  QTableView& grid = *window->grdRows;
  db::Table water(program.Atlas.path() + "/MAPS", "Water.dbf");
  water.Open();
  std::vector<int> expected;
  for (int p = 0; p < water.RecordCount(); ++p) {
    water.SetRecNo(p + 1);
    if (water.FieldByName("DIAMETER").AsInteger() >= 150 &&
        water.FieldByName("MATERIAL").AsString() == QString::fromUtf8("чавун"))
      expected.push_back(int(water.FieldByName("OBJECTCODE").AsInteger()));
  }
  ASSERT_FALSE(expected.empty());
  ASSERT_LT(int(expected.size()), water.RecordCount());

  QTest::mouseClick(window->chkCondition, Qt::LeftButton, {},
                    {6, window->chkCondition->height() / 2});
  ASSERT_TRUE(window->chkCondition->isChecked());
  window->edFilter->setFocus();
  Type(window->edFilter, QString::fromUtf8("DIAMETER >= 150 AND MATERIAL = \"чавун\""));
  QTest::keyClick(window->edFilter, Qt::Key_Return);
  std::vector<int> shown;
  for (int r = 0; r < grid.model()->rowCount(); ++r)
    shown.push_back(Cell(grid, r, Column(grid, "OBJECTCODE")).toInt());
  std::sort(shown.begin(), shown.end());
  std::sort(expected.begin(), expected.end());
  EXPECT_EQ(shown, expected);

  const int before = grid.model()->rowCount();
  for (const char* wrong : {"DIAMETER >= ", "NOSUCHFIELD = 1", "1) ; DELETE FROM Water --"}) {
    window->edFilter->clear();
    Type(window->edFilter, QString::fromUtf8(wrong));
    QTest::keyClick(window->edFilter, Qt::Key_Return);
    EXPECT_TRUE(window->lblCount->text().startsWith(QString::fromUtf8("Умову не прийнято")))
        << wrong << ": " << window->lblCount->text().toStdString();
    EXPECT_EQ(grid.model()->rowCount(), before) << wrong;
  }
  db::Table after(program.Atlas.path() + "/MAPS", "Water.dbf");
  after.Open();
  EXPECT_EQ(after.RecordCount(), water.RecordCount()) << "nothing deleted";
  // An empty condition shows every row again.
  window->edFilter->clear();
  QTest::keyClick(window->edFilter, Qt::Key_Return);
  EXPECT_EQ(grid.model()->rowCount(), water.RecordCount());
}

// In work mode 0 a cell is edited in the grid and written to the file; a value the field cannot
// hold is refused with the field's name and nothing is written; the key and the fields the map
// keeps cannot be edited. The table follows picks on the map and survives the map being loaded
// again.
TEST(AttributeTable, CellsAreEditedThroughTheStoreAndTheTableFollowsTheMap) {
  DemoMainWindow program(1000, 700);
  ASSERT_TRUE(program.Exposed);
  TFormMap& form = *program.Form;
  TFAMap& map = *form.Map;
  TCustomLayer* pipes = LayerOf(map, "Water.mds");
  ASSERT_NE(pipes, nullptr);
  TFormAttributeTable* window = OpenTable(form, *pipes);
  ASSERT_NE(window, nullptr);
  QTableView& grid = *window->grdRows;
  const int material = Column(grid, "MATERIAL"), diameter = Column(grid, "DIAMETER");
  const int code = Cell(grid, 2, Column(grid, "OBJECTCODE")).toInt();

  // A double click on the cell, the text typed, Enter: a material no pipe of the demo has.
  ASSERT_NE(Cell(grid, 2, material), QString::fromUtf8("мідь"));
  grid.scrollTo(grid.model()->index(2, material));
  const QRect cell = grid.visualRect(grid.model()->index(2, material));
  QTest::mouseClick(grid.viewport(), Qt::LeftButton, {}, cell.center());
  QTest::mouseDClick(grid.viewport(), Qt::LeftButton, {}, cell.center());
  auto* editor = grid.viewport()->findChild<QLineEdit*>();
  ASSERT_NE(editor, nullptr) << "the cell opened for editing";
  editor->selectAll();
  Type(editor, QString::fromUtf8("мідь"));
  QTest::keyClick(editor, Qt::Key_Return);
  QApplication::processEvents(); // the editor's value is taken after the key, as the loop runs
  auto rowOf = [&](int objectCode) {
    db::Table water(program.Atlas.path() + "/MAPS", "Water.dbf");
    water.Open();
    for (water.First(); !water.Eof(); water.Next())
      if (water.FieldByName("OBJECTCODE").AsInteger() == objectCode)
        return std::pair(water.FieldByName("MATERIAL").AsString(),
                         water.FieldByName("DIAMETER").AsString());
    return std::pair(QString(), QString());
  };
  EXPECT_EQ(rowOf(code).first, QString::fromUtf8("мідь"));
  EXPECT_EQ(Cell(grid, 2, material), QString::fromUtf8("мідь"));

  // A diameter that is no number is refused, naming the field; the file keeps its value.
  base::RecordedMessages messages;
  base::UserMessages* previous = &base::UserMessages::Current();
  base::UserMessages::Install(&messages);
  const QString diameterBefore = rowOf(code).second;
  EXPECT_FALSE(
      grid.model()->setData(grid.model()->index(2, diameter), QString::fromUtf8("великий")));
  EXPECT_EQ(rowOf(code).second, diameterBefore);
  ASSERT_EQ(messages.Shown.size(), 1);
  EXPECT_TRUE(messages.Shown[0].contains("DIAMETER")) << messages.Shown[0].toStdString();
  // A text longer than its field is refused, not cut.
  EXPECT_FALSE(grid.model()->setData(grid.model()->index(2, material), QString(300, 'x')));
  EXPECT_EQ(rowOf(code).first, QString::fromUtf8("мідь"));
  base::UserMessages::Install(previous);
  // The pipe's number and the nodes at its ends are not edited here; a key typed into the grid
  // starts no editing.
  for (const char* kept : {"OBJECTCODE", "HUB1CODE", "HUB2CODE"})
    EXPECT_FALSE(grid.model()->flags(grid.model()->index(2, Column(grid, kept))) &
                 Qt::ItemIsEditable)
        << kept;
  EXPECT_TRUE(grid.model()->flags(grid.model()->index(2, material)) & Qt::ItemIsEditable);
  grid.setFocus();
  grid.setCurrentIndex(grid.model()->index(3, material));
  const QString before = Cell(grid, 3, material);
  QTest::keyClicks(&grid, "6000");
  QTest::keyClick(&grid, Qt::Key_Return);
  EXPECT_EQ(Cell(grid, 3, material), before);
  for (const QLineEdit* editor : grid.viewport()->findChildren<QLineEdit*>())
    EXPECT_FALSE(editor->isVisible()) << "no editor opened";
  // The decimal comma of the desktop is taken.
  EXPECT_TRUE(grid.model()->setData(grid.model()->index(2, Column(grid, "LENGTH")), "12,5"));
  EXPECT_EQ(Cell(grid, 2, Column(grid, "LENGTH")).toDouble(), 12.5);

  // An object found on the map (as the search window finds it) chooses its row.
  map.ActiveLayer = int(std::find_if(map.Layers.begin(), map.Layers.end(),
                                     [&](const auto& l) { return l.get() == pipes; }) -
                        map.Layers.begin());
  ASSERT_TRUE(map.LocateLayerObject(pipes->Category, pipes->Class, 4));
  const QModelIndexList chosen = grid.selectionModel()->selectedRows();
  ASSERT_EQ(chosen.size(), 1);
  db::Table water(program.Atlas.path() + "/MAPS", "Water.dbf");
  water.Open();
  water.SetRecNo(water.PositionOfRecord(4) + 1);
  EXPECT_EQ(Cell(grid, chosen[0].row(), Column(grid, "OBJECTCODE")).toInt(),
            water.FieldByName("OBJECTCODE").AsInteger());

  // The map loaded again: the window finds its layer anew and still shows on the map.
  const int category = pipes->Category;
  map.ReloadMap(); // the layer object is destroyed and built again
  map.Redraw();
  grid.selectRow(5);
  QTest::mouseClick(window->btnShow, Qt::LeftButton);
  ASSERT_FALSE(map.Selection.empty());
  EXPECT_EQ(map.Selection[0].Category, category);
}

// Outside work mode 0 nothing in the grid can be edited.
TEST(AttributeTable, NothingIsEditedInTheReadOnlyModes) {
  QTemporaryDir programDir, atlas;
  demo::WriteAtlas(atlas.path(), 1, 9);
  TDataModuleVANDREL data(programDir.path(), 1, atlas.path());
  TFormMap form(data);
  form.resize(1000, 700);
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
  TCustomLayer* pipes = LayerOf(*form.Map, "Water.mds");
  ASSERT_NE(pipes, nullptr);
  TFormAttributeTable* window = OpenTable(form, *pipes);
  ASSERT_NE(window, nullptr);
  QAbstractItemModel& model = *window->grdRows->model();
  for (int c = 0; c < model.columnCount(); ++c)
    EXPECT_FALSE(model.flags(model.index(0, c)) & Qt::ItemIsEditable) << c;
  EXPECT_FALSE(model.setData(model.index(0, Column(*window->grdRows, "MATERIAL")), "x"));
}
