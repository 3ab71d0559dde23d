// The layer and object panels of the main window on the demo atlas: clicks by x position, the
// drag that reorders layers in both work modes, the menus' states and the tree's drawing.

#include "data/DataModule.h"
#include "ui/main/FormMap.h"
#include "ui/panels/LayerPanels.h"

#include "AtlasWriter.h"
#include "ProgramWindows.h"

#include "base/UserMessages.h"
#include "db/Table.h"
#include "gfx/Canvas.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QListWidget>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <QTest>
#include <QToolTip>
#include <gtest/gtest.h>
#include <map>

namespace {

class Panels : public ::testing::Test {
protected:
  void Open(int workMode) {
    demo::WriteAtlas(Atlas.path(), 1, 9);
    Data = std::make_unique<TDataModuleVANDREL>(Program.path(), uint8_t(workMode), Atlas.path());
    Form = std::make_unique<TFormMap>(*Data);
    P = Form->Panels;
  }
  // Index of the first tree line whose node satisfies `match`.
  template <class T, class F> int TreeLine(F match) {
    for (size_t i = 0; i < P->TreeNodes.size(); ++i)
      if (auto* n = dynamic_cast<T*>(P->TreeNodes[i].Node.get()); n && match(*n)) return int(i);
    return -1;
  }
  int CategoryLine(int category) {
    return TreeLine<TCategoryObject>([&](auto& c) { return c.Category == category; });
  }
  void ClickTree(int line, int x) {
    Form->lboxObjects->setCurrentRow(line);
    P->lboxObjectsMouseUp(x);
  }
  void DragLayer(int from, int to) {
    Form->lboxLayers->setCurrentRow(from);
    P->lboxLayersMouseDown(60);
    Form->lboxLayers->setCurrentRow(to);
    P->lboxLayersMouseMove();
    P->lboxLayersMouseUp(60);
  }
  std::vector<QString> MapOrder() const {
    std::vector<QString> names;
    for (const auto& l : Form->Map->Layers)
      names.push_back(l->ClassName);
    return names;
  }
  // The layers list's names, leaving out rows the map has no layer for.
  std::vector<QString> ListOrderInMap() const {
    std::vector<QString> names;
    for (const TNodeLine& line : P->LayerNodes) {
      const auto& c = static_cast<const TClassObject&>(*line.Node);
      for (const auto& l : Form->Map->Layers)
        if (l->Category == c.Category && l->Class == c.Class) names.push_back(c.ClassName);
    }
    return names;
  }
  std::vector<QString> ListOrder() const {
    std::vector<QString> names;
    for (const TNodeLine& line : P->LayerNodes)
      names.push_back(static_cast<const TClassObject&>(*line.Node).ClassName);
    return names;
  }
  TCustomLayer* MapLayer(const TClassObject& c) {
    for (const auto& l : Form->Map->Layers)
      if (l->Category == c.Category && l->Class == c.Class) return l.get();
    return nullptr;
  }
  // The form shown with its layout run, so that the lists have their real size.
  void Show() {
    Form->resize(1180, 760);
    Form->show();
    QApplication::processEvents();
  }
  // The point at `x` on the middle of a list's line.
  static QPoint OnLine(QListWidget* list, int row, int x) {
    return {x, list->visualRect(list->model()->index(row, 0)).center().y()};
  }
  // A point below the last line of a list; the test fails when the list has no room there.
  static QPoint BelowLines(QListWidget* list, int x) {
    const QRect last = list->visualRect(list->model()->index(list->count() - 1, 0));
    EXPECT_LT(last.bottom() + 10, list->viewport()->height()) << "no blank room below the lines";
    return {x, last.bottom() + 8};
  }
  void PressMoveRelease(QListWidget* list, QPoint from, QPoint to) {
    QWidget* w = list->viewport();
    QTest::mousePress(w, Qt::LeftButton, {}, from);
    QMouseEvent move(QEvent::MouseMove, to, w->mapToGlobal(to), Qt::NoButton, Qt::LeftButton,
                     Qt::NoModifier);
    QApplication::sendEvent(w, &move);
    QTest::mouseRelease(w, Qt::LeftButton, {}, to);
  }
  QByteArray CategoriesFile() {
    QFile f(Data->TableCategory.FilePath());
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
  }
  QByteArray LayersFile() {
    QFile f(Data->TableClasses.FilePath());
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
  }

  QTemporaryDir Program, Atlas;
  std::unique_ptr<TDataModuleVANDREL> Data;
  std::unique_ptr<TFormMap> Form;
  TLayerPanels* P = nullptr;
};

} // namespace

TEST_F(Panels, ACategoryLineOpensAtItsFolderSwitchesAtItsLampAndIgnoresItsName) {
  Open(0);
  const int streets = CategoryLine(7); // open in the demo atlas
  ASSERT_GE(streets, 0);
  const size_t lines = P->TreeNodes.size();
  ClickTree(streets, 19);
  EXPECT_LT(P->TreeNodes.size(), lines) << "closed: its class lines are gone";
  ASSERT_TRUE(Data->TableCategory.FindKey({int64_t(7)}));
  EXPECT_FALSE(Data->TableCategory.FieldByName("OpenTree").AsBoolean());
  EXPECT_EQ(Form->lboxObjects->count(), int(P->TreeNodes.size()));

  ClickTree(CategoryLine(7), 41);
  ASSERT_TRUE(Data->TableCategory.FindKey({int64_t(7)}));
  EXPECT_TRUE(Data->TableCategory.FieldByName("Visibled").AsBoolean());
  EXPECT_FALSE(P->Action("ppmiObjListObjects")->isEnabled());

  ClickTree(CategoryLine(7), 20);
  ASSERT_TRUE(Data->TableCategory.FindKey({int64_t(7)}));
  EXPECT_FALSE(Data->TableCategory.FieldByName("Visibled").AsBoolean());
  for (const auto& l : Form->Map->Layers)
    if (l->Category == 7) {
      EXPECT_FALSE(l->Visibled) << "the map was reloaded from the tables";
    }
}

TEST_F(Panels, AClassLineSwitchesVisibilityOnlyOverItsLamp) {
  Open(0);
  const int line = TreeLine<TClassObject>([](auto& c) { return c.Category == 2; });
  ASSERT_GE(line, 0);
  const int level = static_cast<TClassObject&>(*P->TreeNodes[size_t(line)].Node).Level;
  auto visible = [&] {
    Data->TableClasses.FindKey({int64_t(level)});
    return Data->TableClasses.FieldByName("Visibled").AsBoolean();
  };
  Form->Map->ActiveLayer = -1;
  ClickTree(line, 24);
  ASSERT_GE(Form->Map->ActiveLayer, 0);
  EXPECT_EQ(Form->Map->Layers[size_t(Form->Map->ActiveLayer)]->Level, level);
  EXPECT_TRUE(visible());
  ClickTree(line, 25);
  EXPECT_FALSE(visible());
  ClickTree(TreeLine<TClassObject>([&](auto& c) { return c.Level == level; }), 39);
  EXPECT_TRUE(visible());
  ClickTree(TreeLine<TClassObject>([&](auto& c) { return c.Level == level; }), 40);
  EXPECT_TRUE(visible());
  // "Список" follows the class's list type; "Змінити знак" is for network classes only.
  const int again = TreeLine<TClassObject>([&](auto& c) { return c.Level == level; });
  auto& node = static_cast<TClassObject&>(*P->TreeNodes[size_t(again)].Node);
  node.ListType = 0;
  ClickTree(again, 60);
  EXPECT_FALSE(P->Action("ppmiObjListObjects")->isEnabled());
  EXPECT_FALSE(P->Action("ppmiChgSymbObjects")->isVisible());
  node.ListType = 4;
  ClickTree(again, 60);
  EXPECT_TRUE(P->Action("ppmiObjListObjects")->isEnabled());
}

TEST_F(Panels, InWorkMode0DraggingTheThirdLayerOntoTheFirstRewritesTheTable) {
  Open(0);
  const std::vector<QString> before = ListOrder();
  ASSERT_GE(before.size(), 3u);
  // Every field of every row but the level, by class.
  auto rows = [this] {
    std::map<std::pair<int64_t, int64_t>, std::vector<db::Value>> byClass;
    db::Table& t = Data->TableClasses;
    for (t.First(); !t.Eof(); t.Next()) {
      std::vector<db::Value> values;
      for (const db::Field& f : t.Fields())
        if (f.FieldName() != "Level") values.push_back(f.AsValue());
      byClass[{t.FieldByName("Category").AsInteger(), t.FieldByName("Class").AsInteger()}] = values;
    }
    return byClass;
  };
  const auto fieldsBefore = rows();
  DragLayer(2, 0);
  EXPECT_EQ(rows(), fieldsBefore);
  const std::vector<QString> after = ListOrder(); // rebuilt from the rewritten table
  ASSERT_EQ(after.size(), before.size());
  EXPECT_EQ(after[0], before[2]);
  EXPECT_EQ(after[1], before[0]);
  EXPECT_EQ(after[2], before[1]);
  EXPECT_EQ(std::vector<QString>(after.begin() + 3, after.end()),
            std::vector<QString>(before.begin() + 3, before.end()));
  for (int i = 0; i < int(after.size()); ++i)
    EXPECT_EQ(static_cast<TClassObject&>(*P->LayerNodes[size_t(i)].Node).Level, i + 1);
  EXPECT_EQ(MapOrder(), ListOrderInMap()) << "the map was reloaded in the new order";
  EXPECT_FALSE(P->LayerDragArmed);
}

TEST_F(Panels, InOtherWorkModesADragMovesTheMapLayerAndLeavesTheTablesAlone) {
  Open(2);
  const QByteArray file = LayersFile();
  const std::vector<QString> before = ListOrder();
  ASSERT_GE(before.size(), 5u);
  DragLayer(1, 4);
  const std::vector<QString> after = ListOrder();
  EXPECT_EQ(after[4], before[1]);
  EXPECT_EQ(after[1], before[2]);
  EXPECT_EQ(MapOrder(), ListOrderInMap()) << "list and map keep one drawing order";
  EXPECT_EQ(LayersFile(), file);

  // Visibility in memory: the layer and the tree's class line follow the lamp.
  int entry = -1, line = -1;
  for (size_t i = 0; i < P->LayerNodes.size() && line < 0; ++i) {
    const auto& e = static_cast<TClassObject&>(*P->LayerNodes[i].Node);
    entry = int(i);
    line = TreeLine<TClassObject>(
        [&](auto& c) { return c.Category == e.Category && c.Class == e.Class; });
  }
  ASSERT_GE(line, 0);
  Form->lboxLayers->setCurrentRow(entry);
  P->lboxLayersMouseUp(10);
  TCustomLayer* layer = MapLayer(static_cast<TClassObject&>(*P->LayerNodes[size_t(entry)].Node));
  ASSERT_NE(layer, nullptr);
  EXPECT_FALSE(layer->Visibled);
  EXPECT_FALSE(static_cast<TClassObject&>(*P->TreeNodes[size_t(line)].Node).Visibled);
  EXPECT_EQ(LayersFile(), file);
}

TEST_F(Panels, ClosingACategoryInMemoryRemovesItsLinesAndOpeningBringsThemBack) {
  Open(2);
  const int networks = CategoryLine(100);
  ASSERT_GE(networks, 0);
  const size_t lines = P->TreeNodes.size();
  ClickTree(networks, 5);
  const size_t closed = P->TreeNodes.size();
  EXPECT_LT(closed, lines);
  ClickTree(networks, 5);
  EXPECT_EQ(P->TreeNodes.size(), lines);
  EXPECT_EQ(P->TreeNodes[size_t(networks) + 1].Text[0], '-');
  EXPECT_EQ(P->TreeNodes[size_t(networks) + 2].Text[0], '_') << "groups follow their class";
  ASSERT_TRUE(Data->TableCategory.FindKey({int64_t(100)}));
  EXPECT_TRUE(Data->TableCategory.FieldByName("OpenTree").AsBoolean()) << "tables untouched";
}

TEST_F(Panels, TheLastClassLineDrawsItsTrunkOnlyToTheMiddle) {
  Open(0);
  const int last = int(P->TreeNodes.size()) - 1;
  // Make the last line a class line by opening the last category when it is closed.
  if (P->TreeNodes.back().Text[0] == '+') ClickTree(last, 5);
  int line = int(P->TreeNodes.size()) - 1;
  while (line >= 0 && P->TreeNodes[size_t(line)].Text[0] != '-')
    --line;
  ASSERT_GE(line, 0);
  auto draw = [&](int index) {
    QImage picture(200, 16, QImage::Format_RGB32);
    gfx::Canvas canvas(picture);
    P->lboxObjectsDrawItem(canvas, index, QRect(0, 0, 200, 16));
    return picture;
  };
  const bool lastHasGroups = line != int(P->TreeNodes.size()) - 1;
  const QImage lastClass = draw(line);
  EXPECT_EQ(QColor(lastClass.pixel(5, 4)), QColor(Qt::black));
  EXPECT_EQ(QColor(lastClass.pixel(15, 8)), QColor(Qt::black)) << "the branch";
  if (!lastHasGroups) {
    EXPECT_EQ(QColor(lastClass.pixel(5, 14)), QColor(192, 192, 192));
  }
  // A class line followed by another class line runs its trunk to the bottom.
  int inner = -1;
  for (int i = 0; i + 1 < int(P->TreeNodes.size()); ++i)
    if (P->TreeNodes[size_t(i)].Text[0] == '-' && P->TreeNodes[size_t(i) + 1].Text[0] == '-')
      inner = i;
  ASSERT_GE(inner, 0);
  EXPECT_EQ(QColor(draw(inner).pixel(5, 14)), QColor(Qt::black));
}

// A group without a font of its own shows its symbol in its class's font, as the map draws it:
// the demo's house inlets ("v" in the water wells' Wingdings), not a plain letter.
TEST_F(Panels, AGroupWithoutAFontIsDrawnInItsClasssFont) {
  Open(0);
  const int line = TreeLine<TGroupObject>(
      [](auto& g) { return g.SymbolFont.isEmpty() && !g.Symbol_Code.isEmpty(); });
  ASSERT_GE(line, 0);
  auto& group = *dynamic_cast<TGroupObject*>(P->TreeNodes[size_t(line)].Node.get());
  auto draw = [&] {
    QImage picture(200, 16, QImage::Format_RGB32);
    gfx::Canvas canvas(picture);
    P->lboxObjectsDrawItem(canvas, line, QRect(0, 0, 200, 16));
    // The symbol, above the line's bottom row (where the tree's dotted lines run on).
    return picture.copy(40, 0, 30, 14);
  };
  const QImage withoutFont = draw();
  const int owner = TreeLine<TClassObject>(
      [&](auto& c) { return c.Category == group.Category && c.Class == group.Class; });
  ASSERT_GE(owner, 0);
  const QString classFont = dynamic_cast<TClassObject&>(*P->TreeNodes[size_t(owner)].Node).CharFont;
  ASSERT_FALSE(classFont.isEmpty());
  group.SymbolFont = classFont;
  EXPECT_EQ(draw(), withoutFont);
  group.SymbolFont = "Arial";
  EXPECT_NE(draw(), withoutFont) << "a font of its own is the group's";
  group.SymbolFont.clear();
}

TEST_F(Panels, TheObjectListIsAskedForTheTableNameBeforeTheFirstDot) {
  Open(0);
  QString table = "unset";
  int group = 0;
  P->OnShowList = [&](const QString& t, const QString&, const QString&, int, int, int, int g) {
    table = t;
    group = g;
  };
  auto& entry = static_cast<TClassObject&>(*P->LayerNodes[0].Node);
  entry.ListType = 1;
  entry.FileName = "Parks.part.mds";
  Form->lboxLayers->setCurrentRow(0);
  P->ppmiObjListClick();
  EXPECT_EQ(table, "Parks");
  EXPECT_EQ(group, -1);
  entry.FileName = "Parks";
  P->ppmiObjListClick();
  EXPECT_EQ(table, QString());
}

TEST_F(Panels, APressOnTheLampsNeverDropsTheLayerOfAnEarlierDrag) {
  Open(0);
  Show();
  QListWidget* list = Form->lboxLayers;
  const std::vector<QString> initial = ListOrder();
  PressMoveRelease(list, OnLine(list, 2, 60), OnLine(list, 0, 60)); // a real drag: rewrites
  const std::vector<QString> order = ListOrder();
  ASSERT_EQ(order[0], initial[2]);
  const QByteArray before = LayersFile();
  // Pressed on a lamp, released right of x = 50 on another line: no drag was armed.
  PressMoveRelease(list, OnLine(list, 3, 10), OnLine(list, 1, 60));
  EXPECT_EQ(ListOrder(), order);
  EXPECT_EQ(LayersFile(), before) << "the layers table is not rewritten";
  EXPECT_FALSE(P->LayerDragArmed);
  EXPECT_FALSE(P->LayerDragMoved);
  // A drag released below the last line is given up.
  PressMoveRelease(list, OnLine(list, 1, 60), BelowLines(list, 60));
  EXPECT_EQ(LayersFile(), before);
  EXPECT_FALSE(P->LayerDragArmed);
}

TEST_F(Panels, AClickBelowTheLastLineDoesNothing) {
  Open(0);
  Show();
  // The layers list: the last line made current, then a click on the lamps' column below it.
  QListWidget* layers = Form->lboxLayers;
  const int last = layers->count() - 1;
  QTest::mouseClick(layers->viewport(), Qt::LeftButton, {}, OnLine(layers, last, 60));
  ASSERT_EQ(layers->currentRow(), last);
  const bool visible = static_cast<TClassObject&>(*P->LayerNodes[size_t(last)].Node).Visibled;
  const QByteArray layersBefore = LayersFile();
  QTest::mouseClick(layers->viewport(), Qt::LeftButton, {}, BelowLines(layers, 10));
  EXPECT_EQ(static_cast<TClassObject&>(*P->LayerNodes[size_t(last)].Node).Visibled, visible);
  EXPECT_EQ(LayersFile(), layersBefore);
  // The tree: its last line is a category; a click at the folders' column below it.
  Form->pgctlLayers->setCurrentWidget(Form->lboxObjects);
  QApplication::processEvents();
  QListWidget* tree = Form->lboxObjects;
  const int lastLine = tree->count() - 1;
  ASSERT_NE(dynamic_cast<TCategoryObject*>(P->TreeNodes[size_t(lastLine)].Node.get()), nullptr);
  QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, OnLine(tree, lastLine, 60));
  const QByteArray categoriesBefore = CategoriesFile();
  const size_t lines = P->TreeNodes.size();
  QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, BelowLines(tree, 10));
  QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, BelowLines(tree, 25));
  EXPECT_EQ(P->TreeNodes.size(), lines);
  EXPECT_EQ(CategoriesFile(), categoriesBefore) << "OpenTree and Visibled are not written";
}

TEST_F(Panels, ARightClickMakesTheLineCurrentAndTheMenuActsOnIt) {
  Open(0);
  Show();
  QListWidget* list = Form->lboxLayers;
  int buildings = -1, hydrants = -1;
  for (size_t i = 0; i < P->LayerNodes.size(); ++i) {
    const auto& c = static_cast<TClassObject&>(*P->LayerNodes[i].Node);
    if (c.ClassName == QString::fromUtf8("Будинки")) buildings = int(i);
    if (c.ClassName == QString::fromUtf8("Пожежні гідранти")) hydrants = int(i);
  }
  ASSERT_GE(buildings, 0);
  ASSERT_GE(hydrants, 0);
  QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, OnLine(list, buildings, 60));
  EXPECT_FALSE(P->Action("ppmiChgSymb")->isVisible());
  QTest::mousePress(list->viewport(), Qt::RightButton, {}, OnLine(list, hydrants, 60));
  EXPECT_EQ(list->currentRow(), hydrants);
  ASSERT_GE(Form->Map->ActiveLayer, 0);
  EXPECT_EQ(Form->Map->Layers[size_t(Form->Map->ActiveLayer)]->ClassName,
            QString::fromUtf8("Пожежні гідранти"));
  EXPECT_TRUE(P->Action("ppmiChgSymb")->isVisible()) << "a network class";
  const bool visible = static_cast<TClassObject&>(*P->LayerNodes[size_t(hydrants)].Node).Visibled;
  QTest::mouseRelease(list->viewport(), Qt::RightButton, {}, OnLine(list, hydrants, 10));
  EXPECT_EQ(static_cast<TClassObject&>(*P->LayerNodes[size_t(hydrants)].Node).Visibled, visible)
      << "a right click switches nothing";
  // The tree likewise: a right press on a category line disables "Список".
  Form->pgctlLayers->setCurrentWidget(Form->lboxObjects);
  QApplication::processEvents();
  QListWidget* tree = Form->lboxObjects;
  const int classLine = TreeLine<TClassObject>([](auto& c) { return c.ListType != 0; });
  QTest::mouseClick(tree->viewport(), Qt::LeftButton, {}, OnLine(tree, classLine, 100));
  EXPECT_TRUE(P->Action("ppmiObjListObjects")->isEnabled());
  QTest::mousePress(tree->viewport(), Qt::RightButton, {}, OnLine(tree, 0, 60));
  EXPECT_EQ(tree->currentRow(), 0);
  EXPECT_FALSE(P->Action("ppmiObjListObjects")->isEnabled());
  QTest::mouseRelease(tree->viewport(), Qt::RightButton, {}, OnLine(tree, 0, 60));
}

// A lamp whose row cannot be written (another user deleted it meanwhile) is said, and the lamp
// goes back to what it was.
TEST_F(Panels, AFailedLampWriteIsSaidAndTheLampGoesBack) {
  Open(0);
  base::RecordedMessages messages;
  base::UserMessages* previous = &base::UserMessages::Current();
  base::UserMessages::Install(&messages);
  const int line = TreeLine<TClassObject>([](auto& c) { return c.Category == 2; });
  ASSERT_GE(line, 0);
  auto& node = static_cast<TClassObject&>(*P->TreeNodes[size_t(line)].Node);
  const bool before = node.Visibled;
  {
    db::Table other(Data->BaseDir, "classreest");
    other.Open();
    ASSERT_TRUE(other.FindKey({int64_t(node.Level)}));
    other.Delete();
  }
  ClickTree(line, 30);
  EXPECT_EQ(node.Visibled, before) << "the lamp goes back";
  ASSERT_EQ(messages.Shown.size(), 1);
  EXPECT_TRUE(messages.Shown[0].startsWith(QString::fromUtf8("Ошибка записи в БД!")));
  EXPECT_EQ(Data->TableClasses.State(), db::TableState::Browse);
  base::UserMessages::Install(previous);
}

// The layers table rewritten by a drag starts from the table as it is then: a change another
// user made meanwhile to another field stays.
TEST_F(Panels, ADragKeepsAnotherUsersChangeMadeMeanwhile) {
  Open(0);
  {
    db::Table other(Data->BaseDir, "classreest");
    other.Open();
    other.Last();
    other.Edit();
    other.FieldByName("PenColor").SetAsInteger(0x00123456);
    other.Post();
  }
  const std::vector<QString> before = ListOrder();
  DragLayer(2, 0);
  ASSERT_NE(ListOrder(), before) << "the drag reordered the layers";
  db::Table after(Data->BaseDir, "classreest");
  after.Open();
  after.Last();
  EXPECT_EQ(after.FieldByName("PenColor").AsInteger(), 0x00123456);
}

// The active layer's line is marked in both lists; a layer whose files could not be read shows
// as failed, not as switched on: greyed, its lamp off, the reason in its line's tooltip.
TEST(PanelStates, TheActiveLayerIsMarkedAndAFailedLayerIsGreyedWithItsReason) {
  DemoMainWindow w(1100, 760,
                   [](const QString& atlas) { QFile::remove(atlas + "/MAPS/Green.mds"); });
  ASSERT_TRUE(w.Exposed);
  TLayerPanels& p = *w.Form->Panels;
  QListWidget& layers = *w.Form->lboxLayers;
  auto lineOf = [&](const QString& name) {
    for (size_t i = 0; i < p.LayerNodes.size(); ++i)
      if (static_cast<const TClassObject&>(*p.LayerNodes[i].Node).ClassName == name) return int(i);
    return -1;
  };
  // The list's own page is shown so that its lines are drawn by the layout.
  w.Form->pgctlLayers->setCurrentIndex(1);
  QApplication::processEvents();
  const int green = lineOf(QString::fromUtf8("Зелені насадження"));
  const int water = lineOf(QString::fromUtf8("Водопровідні мережі"));
  ASSERT_GE(green, 0);
  ASSERT_GE(water, 0);
  const auto& greenClass = static_cast<const TClassObject&>(*p.LayerNodes[size_t(green)].Node);
  EXPECT_TRUE(greenClass.Visibled) << "switched on in the table";
  EXPECT_TRUE(
      w.Form->Map->Content.FailureOf(greenClass.Category, greenClass.Class).contains("Green.mds"));
  auto line = [&](int row) {
    layers.scrollToItem(layers.item(row));
    QApplication::processEvents();
    const QRect r = layers.visualItemRect(layers.item(row));
    return layers.viewport()->grab(r).toImage();
  };
  // Greyed: no black text; the lamp's picture differs from a switched-on line's.
  auto hasBlackText = [](const QImage& image) {
    for (int y = 0; y < image.height(); ++y)
      for (int x = 55; x < image.width(); ++x)
        if ((image.pixel(x, y) & 0xFFFFFF) == 0) return true;
    return false;
  };
  EXPECT_FALSE(hasBlackText(line(green)));
  EXPECT_TRUE(hasBlackText(line(water)));
  EXPECT_NE(line(green).copy(0, 0, 17, 16), line(water).copy(0, 0, 17, 16));
  // Its tooltip gives the reason.
  layers.scrollToItem(layers.item(green));
  const QPoint at = layers.visualItemRect(layers.item(green)).center();
  QHelpEvent help(QEvent::ToolTip, at, layers.viewport()->mapToGlobal(at));
  QApplication::sendEvent(layers.viewport(), &help);
  EXPECT_TRUE(QToolTip::text().contains("Green.mds")) << QToolTip::text().toStdString();
  // A name cut off by a narrow panel is shown whole in its tooltip.
  const int width = layers.width();
  layers.setFixedWidth(90);
  QApplication::processEvents();
  layers.scrollToItem(layers.item(water));
  const QPoint onWater = layers.visualItemRect(layers.item(water)).center();
  QHelpEvent cut(QEvent::ToolTip, onWater, layers.viewport()->mapToGlobal(onWater));
  QApplication::sendEvent(layers.viewport(), &cut);
  EXPECT_EQ(QToolTip::text(), QString::fromUtf8("Водопровідні мережі"));
  layers.setMinimumWidth(0);
  layers.setMaximumWidth(QWIDGETSIZE_MAX);
  layers.resize(width, layers.height());
  // A click on the water pipes' name makes them the active layer: its line's ground is marked.
  const QColor plain = line(water).pixelColor(line(water).width() - 2, 8);
  layers.scrollToItem(layers.item(water));
  QApplication::processEvents();
  const QRect r = layers.visualItemRect(layers.item(water));
  QTest::mouseClick(layers.viewport(), Qt::LeftButton, {}, {120, r.center().y()});
  ASSERT_GE(w.Form->Map->ActiveLayer, 0);
  EXPECT_EQ(w.Form->Map->Layers[size_t(w.Form->Map->ActiveLayer)]->ClassName,
            QString::fromUtf8("Водопровідні мережі"));
  EXPECT_NE(line(water).pixelColor(line(water).width() - 2, 8), plain);
}
