// The map control and the main window on the demo atlas, driven as a user would.

#include "core/FAMap.h"
#include "core/LayerFactory.h"
#include "core/tools/MeasureTool.h"
#include "data/DataModule.h"
#include "layers/DBPointsLayer.h"
#include "layers/GeometryFile.h"
#include "layers/LayerKinds.h"
#include "overlays/Distation.h"
#include "ui/common/GuardedApplication.h"
#include "ui/main/ContentCommands.h"
#include "ui/main/FormInfoPath.h"
#include "ui/main/FormMap.h"
#include "ui/main/MeasurementCommands.h"
#include "ui/objects/FormSelectInfo.h"
#include "ui/objects/FormViewSelectedObjects.h"
#include "ui/panels/LayerPanels.h"

#include "AtlasWriter.h"

#include "base/UserMessages.h"
#include "db/ParadoxFile.h"
#include "db/Table.h"
#include "gfx/DrawHelpers.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QWheelEvent>
#include <gtest/gtest.h>

namespace {

struct WidgetsEnvironment : ::testing::Environment {
  void SetUp() override {
    static int argc = 1;
    static char name[] = "ui_tests";
    static char* argv[] = {name, nullptr};
    // The program's own application object: every event runs inside its guard.
    if (!QApplication::instance()) App = new TGuardedApplication(argc, argv);
    gfx::SetDelayHandler([](int) {});
    RegisterLayerKinds();
    base::UserMessages::Install(&Messages);
  }
  void TearDown() override {
    base::UserMessages::Install(nullptr);
    delete App;
  }
  QApplication* App = nullptr;
  base::RecordedMessages Messages;
};
auto* const environment =
    static_cast<WidgetsEnvironment*>(::testing::AddGlobalTestEnvironment(new WidgetsEnvironment));

QString Atlas() {
  static QTemporaryDir dir;
  static bool written = false;
  if (!written) {
    demo::WriteAtlas(dir.path(), 1, 9);
    written = true;
  }
  return dir.path();
}

// A shown map control of 400 × 300 pixels on the demo atlas.
struct ShownMap {
  TFAMap Map;
  ShownMap(const QString& atlas = Atlas()) {
    Map.resize(400, 300);
    Map.show();
    Map.LoadMap(atlas + "/BASE", atlas + "/MAPS", atlas, atlas + "/REFERENSE", atlas + "/ROUTES");
    Map.Redraw();
  }
  double Width() const { return Map.World.ViewExtent.XMax - Map.World.ViewExtent.XMin; }
};

void Drag(QWidget* w, QPoint from, QPoint to) {
  QTest::mousePress(w, Qt::LeftButton, {}, from);
  QMouseEvent move(QEvent::MouseMove, to, w->mapToGlobal(to), Qt::NoButton, Qt::LeftButton,
                   Qt::NoModifier);
  QApplication::sendEvent(w, &move);
  QTest::mouseRelease(w, Qt::LeftButton, {}, to);
}

// As a window system delivers a double click: press, release, the second press as a double
// click, release.
void DoubleClick(QWidget* w, QPoint at) {
  QTest::mouseClick(w, Qt::LeftButton, {}, at);
  QMouseEvent second(QEvent::MouseButtonDblClick, at, w->mapToGlobal(at), Qt::LeftButton,
                     Qt::LeftButton, Qt::NoModifier);
  QApplication::sendEvent(w, &second);
  QTest::mouseRelease(w, Qt::LeftButton, {}, at);
}

} // namespace

TEST(MapControl, ZoomInByClickHalvesTheViewAboutTheClick) {
  ShownMap m;
  m.Map.SetMode(TFAMap::ModeZoomIn);
  const double before = m.Width();
  // The click point is where the button is released.
  const double wx = m.Map.World.ScreenToWorldX(105), wy = m.Map.World.ScreenToWorldY(105);
  Drag(&m.Map, {100, 100}, {105, 105}); // five pixels: still a click
  EXPECT_NEAR(m.Width(), before / 2, 1e-6 * before);
  const TExtent& v = m.Map.World.ViewExtent;
  EXPECT_NEAR((v.XMin + v.XMax) / 2, wx, 1e-6 * before);
  EXPECT_NEAR((v.YMin + v.YMax) / 2, wy, 1e-6 * before);
  EXPECT_EQ(m.Map.CursorNumber(), 1001);
}

TEST(MapControl, AZoomBoxIsTheSameWhicheverWayItIsDrawn) {
  ShownMap a, b;
  a.Map.SetMode(TFAMap::ModeZoomIn);
  b.Map.SetMode(TFAMap::ModeZoomIn);
  const TExtent start = a.Map.World.ViewExtent;
  Drag(&a.Map, {100, 100}, {106, 160}); // six pixels across: a box
  Drag(&b.Map, {106, 160}, {100, 100});
  const TExtent& va = a.Map.World.ViewExtent;
  const TExtent& vb = b.Map.World.ViewExtent;
  EXPECT_LT(va.XMax - va.XMin, (start.XMax - start.XMin) / 4);
  EXPECT_DOUBLE_EQ(va.XMin, vb.XMin);
  EXPECT_DOUBLE_EQ(va.YMax, vb.YMax);
  EXPECT_LT(va.XMin, va.XMax);
  EXPECT_LT(va.YMin, va.YMax);
}

TEST(MapControl, AStraightDragZoomsInAboutItsMiddleInTheControlsProportions) {
  ShownMap m; // 400 × 300
  m.Map.SetMode(TFAMap::ModeZoomIn);
  const double pixel = 1 / m.Map.World.Scale;
  const double cx = m.Map.World.ScreenToWorldX(200), cy = m.Map.World.ScreenToWorldY(150);
  Drag(&m.Map, {100, 150}, {300, 150}); // 200 pixels across, none high
  const TExtent& v = m.Map.World.ViewExtent;
  EXPECT_NEAR(v.XMax - v.XMin, 200 * pixel, pixel);
  EXPECT_NEAR(v.YMax - v.YMin, 150 * pixel, pixel) << "the height in the control's proportions";
  EXPECT_NEAR((v.XMin + v.XMax) / 2, cx, pixel);
  EXPECT_NEAR((v.YMin + v.YMax) / 2, cy, pixel);
  EXPECT_NEAR(m.Map.World.Scale, 2 / pixel, 0.01 / pixel) << "zoomed in, not out";
  // A vertical drag likewise: 150 pixels high gives 200 across.
  const double pixel2 = 1 / m.Map.World.Scale;
  Drag(&m.Map, {200, 75}, {200, 225});
  EXPECT_NEAR(v.XMax - v.XMin, 200 * pixel2, pixel2);
  EXPECT_NEAR(m.Map.World.Scale, 2 / pixel2, 0.01 / pixel2);
}

TEST(MapControl, ZoomOutDoublesAndPanFollowsThePointer) {
  ShownMap m;
  const double before = m.Width();
  m.Map.SetMode(TFAMap::ModeZoomOut);
  Drag(&m.Map, {200, 150}, {200, 150});
  EXPECT_NEAR(m.Width(), before * 2, 1e-6 * before);
  m.Map.ShowWholeMap();
  m.Map.SetMode(TFAMap::ModePan);
  const double x0 = m.Map.World.ViewExtent.XMin;
  const double pixel = 1 / m.Map.World.Scale;
  Drag(&m.Map, {200, 150}, {250, 150});
  EXPECT_NEAR(m.Map.World.ViewExtent.XMin, x0 - 50 * pixel, pixel);
}

TEST(MapControl, PickingTheSameLineTwiceSelectsItOnce) {
  ShownMap m;
  m.Map.SetMode(TFAMap::ModeInfo);
  for (size_t i = 0; i < m.Map.Layers.size(); ++i)
    if (m.Map.Layers[i]->Category == 7 && m.Map.Layers[i]->Class == 4)
      m.Map.ActiveLayer = int(i); // the streets
  ASSERT_GE(m.Map.ActiveLayer, 0);
  // Find a pixel on a street: the middle of the first street's first segment.
  db::Table streets(Atlas() + "/MAPS", "Streets.dbf");
  streets.Open();
  QPoint on;
  for (int y = 0; y < 300 && on.isNull(); ++y)
    for (int x = 0; x < 400; ++x)
      if (QColor(m.Map.BackBuffer.pixel(x, y)) == QColor(0xC8, 0xC8, 0xC8)) {
        on = {x, y};
        break;
      }
  ASSERT_FALSE(on.isNull());
  Drag(&m.Map, on, on);
  Drag(&m.Map, on, on);
  ASSERT_EQ(m.Map.Selection.size(), 1u);
  EXPECT_EQ(m.Map.Selection[0].Category, 7);
  m.Map.ClearSelection();
  EXPECT_TRUE(m.Map.Selection.empty());
}

TEST(MapControl, LocatingAnObjectWellInsideTheViewKeepsTheScale) {
  ShownMap m;
  const double scale = m.Map.World.Scale;
  // Street 3 runs across the middle of the town.
  EXPECT_TRUE(m.Map.LocateLayerObject(7, 4, 3));
  EXPECT_DOUBLE_EQ(m.Map.World.Scale, scale);
  EXPECT_FALSE(m.Map.LocateLayerObject(7, 4, 100000));
  EXPECT_FALSE(m.Map.LocateLayerObject(99, 99, 0));
}

// An object found in the view of a layer not drawn at this scale: the view comes to a scale at
// which its layer is drawn, and the object is the selection, marked until the selection changes.
TEST(MapControl, LocatingAnObjectOfALayerNotDrawnHereBringsItsLayerIntoScale) {
  ShownMap m;
  m.Map.ShowWholeMap();
  TCustomLayer* wells = nullptr;
  for (auto& layer : m.Map.Layers)
    if (layer->ObjectRowsTable() && !layer->ScaleAllowsDrawing(m.Map.World.Scale))
      wells = layer.get();
  ASSERT_NE(wells, nullptr) << "a points layer hidden at the whole map";
  const int record = 5, code = wells->GetObjectCode(record);
  ASSERT_TRUE(m.Map.LocateLayerObject(wells->Category, wells->Class, code));
  EXPECT_TRUE(wells->ScaleAllowsDrawing(m.Map.World.Scale)) << m.Map.World.Scale;
  const TExtent& v = m.Map.World.VisibleExtent;
  EXPECT_TRUE(TWorld::PointInRect(v.XMin, v.YMin, v.XMax, v.YMax, wells->FoundX, wells->FoundY));
  ASSERT_EQ(m.Map.Selection.size(), 1u);
  EXPECT_EQ(m.Map.Selection[0].ObjectIndex, record);
  // The mark is on the screen, not in the finished map: a halo of a few pixels about the object,
  // there and nowhere far from it.
  const QPoint at(m.Map.World.WorldToScreenX(wells->FoundX),
                  m.Map.World.WorldToScreenY(wells->FoundY));
  m.Map.Arrow.Hide(); // the arrow's pixels are not the mark's
  m.Map.Paint();
  int near = 0, far = 0;
  for (int y = 0; y < m.Map.Screen.height(); ++y)
    for (int x = 0; x < m.Map.Screen.width(); ++x) {
      const QRgb shown = m.Map.Screen.pixel(x, y);
      if (shown == m.Map.BackBuffer.pixel(x, y)) continue;
      const bool halo = qBlue(shown) > 200 && qGreen(shown) > 150 && qRed(shown) < 120;
      ((QPoint(x, y) - at).manhattanLength() < 40 ? near : far) += halo;
    }
  EXPECT_GT(near, 40) << "a halo about the object";
  EXPECT_EQ(far, 0);
  m.Map.SetSelection({});
  EXPECT_EQ(m.Map.Screen.copy(), m.Map.BackBuffer.copy()) << "no arrow, no mark: the map itself";
}

TEST(MapControl, ATableOfDatabasePointLayersOnlyKeepsTheDefaultExtent) {
  QTemporaryDir dir;
  QDir().mkpath(dir.path() + "/BASE");
  QDir().mkpath(dir.path() + "/MAPS");
  for (const char* f : {"classreest.DB", "GroupReest.DB", "GroupReest.PX", "classreest.PX"})
    QFile::copy(Atlas() + "/BASE/" + f, dir.path() + "/BASE/" + f);
  db::Table layers(dir.path() + "/BASE", "classreest");
  layers.Open();
  for (layers.First(); !layers.Eof();)
    if (layers.FieldByName("PrimitiveType").AsInteger() != 101)
      layers.Delete();
    else
      layers.Next();
  ASSERT_EQ(layers.RecordCount(), 3);
  TLayerFactory::Instance().Register(101, [] { return std::make_unique<TCustomLayer>(); });
  ShownMap m(dir.path());
  EXPECT_EQ(m.Map.Layers.size(), 3u);
  EXPECT_EQ(m.Map.World.FullExtent.XMin, -1);
  EXPECT_EQ(m.Map.World.FullExtent.YMax, 1);
  RegisterLayerKinds(); // the real kind again for the tests after this one
}

TEST(MapControl, ABrokenGeometryFileIsReportedAndTheRestIsDrawn) {
  QTemporaryDir dir;
  demo::WriteAtlas(dir.path(), 1, 9);
  QFile streets(dir.path() + "/MAPS/Streets.mds");
  ASSERT_TRUE(streets.resize(streets.size() / 2));
  QStringList reported;
  TFAMap map;
  map.Events.OnLayerError = [&](int layer, const QString& reason) {
    reported << QString::number(layer) + ":" + reason;
  };
  map.resize(300, 200);
  map.show();
  map.LoadMap(dir.path() + "/BASE", dir.path() + "/MAPS", dir.path(), dir.path() + "/REFERENSE",
              "");
  // Close enough for the sewers to be drawn.
  const TExtent full = map.World.FullExtent;
  const double w = (full.XMax - full.XMin) / 4, h = (full.YMax - full.YMin) / 4;
  map.World.ViewExtent = {full.XMin + w, full.YMin + h, full.XMin + 2 * w, full.YMin + 2 * h};
  map.Redraw();
  map.Redraw(); // reported once, not at every paint
  ASSERT_EQ(reported.size(), 1);
  EXPECT_TRUE(reported[0].contains("Streets.mds")) << reported[0].toStdString();
  int ink = 0;
  for (int y = 0; y < 200; ++y)
    for (int x = 0; x < 300; ++x)
      ink += QColor(map.BackBuffer.pixel(x, y)) != Qt::white;
  EXPECT_GT(ink, 100) << "the sewers are still drawn";
}

// A map control that goes with a selection calls none of its owner's callbacks on its way out
// (the owner's members they reach may be gone: the window's attribute table was).
TEST(MapControl, NothingIsCalledOutWhileTheControlGoes) {
  QTemporaryDir dir;
  demo::WriteAtlas(dir.path(), 1, 9);
  int calls = 0;
  auto map = std::make_unique<TFAMap>();
  map->LoadMap(dir.path() + "/BASE", dir.path() + "/MAPS", dir.path(), "", "");
  map->Events.OnSelectionChanged = [&] { ++calls; };
  map->Events.OnLayersGone = [&] { ++calls; };
  map->Events.OnPaint = [&] { ++calls; };
  ASSERT_FALSE(map->Layers.empty());
  map->Selection.push_back({});
  map.reset();
  EXPECT_EQ(calls, 0);
}

TEST(MapControl, LayersThatFailToLoadAreNamedOnceAndTheRestOfTheMapLoads) {
  QTemporaryDir dir;
  demo::WriteAtlas(dir.path(), 1, 9);
  ASSERT_TRUE(QFile::remove(dir.path() + "/MAPS/Buildings.dbf"));
  ASSERT_TRUE(QFile::remove(dir.path() + "/MAPS/Hydrants.db"));
  environment->Messages.Shown.clear();
  TFAMap map;
  map.LoadMap(dir.path() + "/BASE", dir.path() + "/MAPS", dir.path(), "", "");
  ASSERT_EQ(environment->Messages.Shown.size(), 1) << "one message for the whole load";
  const QStringList lines = environment->Messages.Shown[0].split('\n');
  ASSERT_EQ(lines.size(), 3) << environment->Messages.Shown[0].toStdString();
  EXPECT_EQ(lines[0], QString::fromUtf8("Невозможно открыть карту..."));
  EXPECT_TRUE(lines[1].startsWith(QString::fromUtf8("Будинки (Buildings.mds)")));
  EXPECT_TRUE(lines[1].contains("Buildings.DBF", Qt::CaseInsensitive));
  EXPECT_TRUE(lines[2].startsWith(QString::fromUtf8("Пожежні гідранти (Hydrants.db)")));
  // Every other row has its layer, the pumping stations after the hydrants included.
  db::Table layers(dir.path() + "/BASE", "classreest");
  layers.Open();
  int rows = 0;
  for (layers.First(); !layers.Eof(); layers.Next())
    ++rows;
  EXPECT_EQ(int(map.Layers.size()), rows - 2);
  // The layers after the hydrants are there: the pumping stations and the street names.
  ASSERT_GE(map.Layers.size(), 2u);
  EXPECT_EQ(map.Layers[map.Layers.size() - 2]->ClassName, QString::fromUtf8("Насосні станції"));
  EXPECT_EQ(map.Layers.back()->ClassName, QString::fromUtf8("Назви вулиць"));
  environment->Messages.Shown.clear();
}

TEST(MapControl, AMissingLayersTableGivesTheLoadMessage) {
  environment->Messages.Shown.clear();
  QTemporaryDir dir;
  TFAMap map;
  map.LoadMap(dir.path(), dir.path(), dir.path(), dir.path(), dir.path());
  ASSERT_EQ(environment->Messages.Shown.size(), 1);
  EXPECT_TRUE(environment->Messages.Shown[0].startsWith("Невозможно открыть карту...\n"));
  EXPECT_TRUE(environment->Messages.Shown[0].contains("CLASSREEST.DB"));
}

class MainWindow : public ::testing::Test {
protected:
  void SetUp() override {
    Data = std::make_unique<TDataModuleVANDREL>(Program.path(), 0, Atlas());
    Form = std::make_unique<TFormMap>(*Data);
    Form->show();
  }
  // Chooses a layer by a real click on its line of the layers list; returns its map index.
  int ChooseLayer(const QString& name) {
    TFAMap& map = *Form->Map;
    int layer = -1;
    for (size_t i = 0; i < map.Layers.size(); ++i)
      if (map.Layers[i]->ClassName == name) layer = int(i);
    Form->pgctlLayers->setCurrentWidget(Form->lboxLayers);
    int row = -1;
    for (size_t i = 0; i < Form->Panels->LayerNodes.size(); ++i)
      if (static_cast<TClassObject&>(*Form->Panels->LayerNodes[i].Node).ClassName == name)
        row = int(i);
    if (layer < 0 || row < 0) return -1;
    const QRect line = Form->lboxLayers->visualRect(Form->lboxLayers->model()->index(row, 0));
    QTest::mouseClick(Form->lboxLayers->viewport(), Qt::LeftButton, {}, {100, line.center().y()});
    return layer;
  }
  QTemporaryDir Program;
  std::unique_ptr<TDataModuleVANDREL> Data;
  std::unique_ptr<TFormMap> Form;
};

TEST_F(MainWindow, EachToolPressesItsButtonAndDescribesItself) {
  Form->sbZoomInClick();
  EXPECT_TRUE(Form->Button("sbZoomIn")->isChecked());
  EXPECT_EQ(Form->pnlMode->text(), QString::fromUtf8("Збільшення карти"));
  EXPECT_EQ(Form->Map->CursorNumber(), 1100);
  EXPECT_EQ(Form->Map->Mode, TFAMap::ModeZoomIn);
  const struct {
    void (TFormMap::*Handler)();
    const char* Button;
    const char* Text;
    int Cursor, MapMode;
  } tools[] = {
      {&TFormMap::sbInfoClick, "sbInfo", "Коротка інформація про вказаний об'єкт", 1103,
       TFAMap::ModeInfo},
      {&TFormMap::sbEditObjectClick, "sbEditObject", "Редагування даних вказаного об'єкта", 1103,
       TFAMap::ModeEdit},
      {&TFormMap::sbZoomOutClick, "sbZoomOut", "Зменшення карти", 1101, TFAMap::ModeZoomOut},
      {&TFormMap::sbPanClick, "sbPan", "Зсув (панорама) карти", 1102, TFAMap::ModePan}};
  for (const auto& t : tools) {
    ((*Form).*t.Handler)();
    EXPECT_TRUE(Form->Button(t.Button)->isChecked()) << t.Button;
    EXPECT_EQ(Form->pnlMode->text(), QString::fromUtf8(t.Text));
    EXPECT_EQ(Form->Map->CursorNumber(), t.Cursor);
    EXPECT_EQ(Form->Map->Mode, t.MapMode);
    int pressed = 0;
    for (const char* b : {"sbInfo", "sbEditObject", "sbZoomIn", "sbZoomOut", "sbPan", "sbAddPath",
                          "sbAddS", "sbDelPath"})
      pressed += Form->Button(b)->isChecked();
    EXPECT_EQ(pressed, 1);
  }
  for (int mode : {7, 8, 30}) {
    Form->SetToolMode(uint8_t(mode));
    EXPECT_FALSE(Form->pnlMode->text().isEmpty());
  }
  Form->SetToolMode(255);
  EXPECT_EQ(Form->PreviousToolMode, 30);
  EXPECT_FALSE(Form->Button("sbAddS")->isChecked());
}

TEST_F(MainWindow, PopOutBarsToggleAndReplaceEachOther) {
  EXPECT_FALSE(Form->pnlInfo->isVisible());
  Form->Button("sbArrow")->click();
  EXPECT_TRUE(Form->pnlInfo->isVisible());
  Form->Button("sbArrow")->click();
  EXPECT_FALSE(Form->pnlInfo->isVisible());
  Form->Button("sbArrow")->click();
  Form->Button("sbShowPathPnl")->click();
  EXPECT_FALSE(Form->pnlInfo->isVisible());
  EXPECT_TRUE(Form->pnlDist->isVisible());
  EXPECT_FALSE(Form->Button("sbArrow")->isChecked()) << "one group: at most one down";
  Form->sbZoomInClick(); // choosing a tool closes both bars
  EXPECT_FALSE(Form->pnlDist->isVisible());
  EXPECT_FALSE(Form->Button("sbShowPathPnl")->isChecked());
}

TEST_F(MainWindow, EveryMeasurementCommandClosesTheMeasurementsBar) {
  // The file commands open a dialog; it is given up as soon as it shows.
  auto dismissDialog = [] {
    QTimer::singleShot(0, [] {
      if (QWidget* modal = QApplication::activeModalWidget()) modal->close();
    });
  };
  for (const char* button :
       {"sbAddPath", "sbAddS", "sbDelPath", "sbLoadPath", "sbSavePath", "sbErasePaths"}) {
    Form->Button("sbShowPathPnl")->click();
    ASSERT_TRUE(Form->pnlDist->isVisible()) << button;
    const QString name(button);
    if (name == "sbLoadPath" || name == "sbSavePath") dismissDialog();
    Form->Button(button)->click();
    EXPECT_FALSE(Form->pnlDist->isVisible()) << button;
    EXPECT_FALSE(Form->Button("sbShowPathPnl")->isChecked()) << button;
    Form->sbZoomInClick(); // leaves measuring before the next command
  }
}

TEST_F(MainWindow, TheScaleLabelRoundsTheDenominator) {
  EXPECT_EQ(TFormMap::ScaleCaption(1999.6), QString::fromUtf8("1 : 2000"));
  EXPECT_EQ(TFormMap::ScaleCaption(2500.5), QString::fromUtf8("1 : 2500"));
  EXPECT_EQ(TFormMap::ScaleCaption(2501.5), QString::fromUtf8("1 : 2502"));
  Form->Map->Redraw();
  EXPECT_EQ(Form->LabelScale->text(), TFormMap::ScaleCaption(Form->Map->World.ScaleDenominator));
}

TEST_F(MainWindow, EditingCommandsAreShownInWorkMode0AndHiddenInTheReadOnlyModes) {
  EXPECT_TRUE(Form->Action("miCalcTopologicalModel")->isVisible());
  EXPECT_TRUE(Form->Button("sbLayers")->isVisible()) << "the layers button in work mode 0";
  Form.reset();
  Data.reset();
  Data = std::make_unique<TDataModuleVANDREL>(Program.path(), 2, Atlas());
  Form = std::make_unique<TFormMap>(*Data);
  Form->show();
  for (const char* name : {"imLayers", "N1", "miCalcTopologicalModel", "N3"})
    EXPECT_FALSE(Form->Action(name)->isVisible());
  EXPECT_FALSE(Form->Button("sbLayers")->isVisible());
}

TEST_F(MainWindow, OnlyAPanPutsBackTheCursorItsPressSaved) {
  TFAMap& map = *Form->Map;
  auto cursor = [&] {
    return std::make_pair(map.cursor().shape(), map.cursor().pixmap().cacheKey());
  };
  Form->sbPanClick();
  const auto pan = cursor();
  QTest::mousePress(&map, Qt::RightButton, {}, {100, 100});
  Form->ppmnMap->close();
  QTest::mouseRelease(&map, Qt::RightButton, {}, {100, 100});
  EXPECT_EQ(cursor(), pan) << "a right click changes no cursor";
  QTest::mousePress(&map, Qt::LeftButton, {}, {100, 100});
  EXPECT_NE(cursor(), pan) << "the dragging hand";
  QTest::mouseRelease(&map, Qt::LeftButton, {}, {100, 100});
  EXPECT_EQ(cursor(), pan);
}

TEST(ObjectUtilsHost, ADoubleClickInAComponentsListShowsTheObjectOnTheMap) {
  // A private atlas whose hydrants layer has the example card component.
  QTemporaryDir atlas, program;
  demo::WriteAtlas(atlas.path(), 1, 9);
  {
    db::Table layers(atlas.path() + "/BASE", "classreest");
    layers.Open();
    for (layers.First(); !layers.Eof(); layers.Next())
      if (layers.FieldByName("Category").AsInteger() == 100 &&
          layers.FieldByName("Class").AsInteger() == 3) {
        layers.Edit();
        layers.FieldByName("ObjUtilsGUID").SetAsString("{7A4C2E10-5B3D-4F8E-9A61-2C0D3E4F5A6B}");
        layers.Post();
      }
  }
  auto& registry = plugins::ObjectUtilsRegistry::Instance();
  ASSERT_TRUE(registry.LoadPlugins(QString::fromUtf8(VANDREL_PLUGIN_DIR)).isEmpty());
  TDataModuleVANDREL data(program.path(), 0, atlas.path());
  TFormMap form(data);
  form.show();
  TFAMap& map = *form.Map;
  int hydrants = -1;
  for (size_t i = 0; i < map.Layers.size(); ++i)
    if (map.Layers[i]->Category == 100 && map.Layers[i]->Class == 3) hydrants = int(i);
  ASSERT_GE(hydrants, 0);
  auto* layer = dynamic_cast<TDBPointsLayer*>(map.Layers[size_t(hydrants)].get());
  ASSERT_NE(layer, nullptr);
  ASSERT_TRUE(layer->ObjectUtils) << "the component was created with the layer";
  map.ActiveLayer = hydrants;
  // Zoomed in on a corner, then the list's last hydrant asked for.
  const TExtent full = map.World.FullExtent;
  map.World.ViewExtent = {full.XMin, full.YMin, full.XMin + 200, full.YMin + 150};
  map.Redraw();
  layer->ShowObjectList();
  QTableView* view = nullptr;
  for (QWidget* w : QApplication::topLevelWidgets())
    if (auto* v = w->findChild<QTableView*>(); v && w->isVisible()) view = v;
  ASSERT_NE(view, nullptr);
  QApplication::processEvents();
  const int row = view->model()->rowCount() - 1;
  const int code = int(db::ValueToInteger(
      layer->Objects().ValueAt(row, layer->Objects().FieldByName("ObjectCode").FieldNo())));
  double x = 0, y = 0;
  layer->GetObjectPoint(code, x, y);
  ASSERT_FALSE(TWorld::PointInRect(map.World.VisibleExtent.XMin, map.World.VisibleExtent.YMin,
                                   map.World.VisibleExtent.XMax, map.World.VisibleExtent.YMax, x,
                                   y));
  view->scrollTo(view->model()->index(row, 0));
  const QPoint at = view->visualRect(view->model()->index(row, 0)).center();
  DoubleClick(view->viewport(), at); // as a window system delivers it
  const TExtent& v = map.World.VisibleExtent;
  EXPECT_TRUE(TWorld::PointInRect(v.XMin, v.YMin, v.XMax, v.YMax, x, y)) << "brought into view";
  EXPECT_TRUE(map.Arrow.Shown());
  EXPECT_EQ(map.Arrow.X(), x);
  EXPECT_EQ(map.Arrow.Y(), y);
}

TEST(IndexedPick, OneWellIsSelectedAndTwoOfferTheChoiceWindow) {
  QTemporaryDir atlas, program;
  demo::WriteAtlas(atlas.path(), 1, 9);
  // A second grid record over the first water well, with the number of another well.
  int64_t first = -1, second = -1, col = 0, row = 0;
  double x = 0, y = 0, secondX = 0, secondY = 0;
  {
    db::Table spin(atlas.path() + "/USER_OBJ", "SPIN.DB");
    spin.Open();
    for (spin.First(); !spin.Eof() && second < 0; spin.Next()) {
      if (spin.FieldByName("Class").AsInteger() != 1) continue;
      if (first < 0) {
        first = spin.FieldByName("ObjNum").AsInteger();
        col = spin.FieldByName("Nodei").AsInteger();
        row = spin.FieldByName("Nodej").AsInteger();
        x = spin.FieldByName("X").AsFloat();
        y = spin.FieldByName("Y").AsFloat();
      } else if (spin.FieldByName("Nodei").AsInteger() != col ||
                 spin.FieldByName("Nodej").AsInteger() != row) { // a well of another cell
        second = spin.FieldByName("ObjNum").AsInteger();
        secondX = spin.FieldByName("X").AsFloat();
        secondY = spin.FieldByName("Y").AsFloat();
      }
    }
    ASSERT_GE(second, 0);
    spin.Append();
    spin.FieldByName("Nodei").SetAsInteger(col);
    spin.FieldByName("Nodej").SetAsInteger(row);
    spin.FieldByName("Category").SetAsInteger(100);
    spin.FieldByName("Class").SetAsInteger(1);
    spin.FieldByName("ObjNum").SetAsInteger(second);
    spin.FieldByName("X").SetAsFloat(x);
    spin.FieldByName("Y").SetAsFloat(y);
    spin.Post();
  }
  TDataModuleVANDREL data(program.path(), 0, atlas.path());
  TFormMap form(data);
  form.show();
  QApplication::processEvents(); // the window takes its size before the view is set
  TFAMap& map = *form.Map;
  int wells = -1;
  for (size_t i = 0; i < map.Layers.size(); ++i)
    if (map.Layers[i]->Category == 100 && map.Layers[i]->Class == 1) wells = int(i);
  ASSERT_GE(wells, 0);
  TCustomLayer& layer = *map.Layers[size_t(wells)];
  ASSERT_TRUE(layer.IsIndexed);
  map.ActiveLayer = wells;
  // Two pixels per metre around the doubled well.
  const double hw = map.width() / 4.0, hh = map.height() / 4.0;
  map.World.ViewExtent = {x - hw, y - hh, x + hw, y + hh};
  map.Redraw();
  form.sbInfoClick();
  auto at = [&] { return QPoint(map.World.WorldToScreenX(x), map.World.WorldToScreenY(y)); };
  // The window: two lines in key order (the lower number first); "Відмінити" chooses nothing.
  QStringList offered;
  QString caption;
  auto answer = [&](int line, bool ok) {
    QTimer::singleShot(0, [&, line, ok] {
      auto* window = dynamic_cast<TFormViewSelectedObjects*>(QApplication::activeModalWidget());
      if (!window) return;
      caption = window->windowTitle();
      offered.clear();
      for (int i = 0; i < window->ListBoxSelObjects->count(); ++i)
        offered << window->ListBoxSelObjects->item(i)->text();
      if (line >= 0) window->ListBoxSelObjects->setCurrentRow(line);
      QAbstractButton* button = ok ? window->BitBtnOK : window->BitBtnCancel;
      QTest::mouseClick(button, Qt::LeftButton);
    });
  };
  answer(-1, false);
  QTest::mouseClick(&map, Qt::LeftButton, {}, at());
  EXPECT_EQ(caption, QString::fromUtf8("Знайдені об'єкти"));
  EXPECT_EQ(offered.size(), 2);
  EXPECT_TRUE(map.Selection.empty());
  answer(-1, true); // OK without a chosen line
  QTest::mouseClick(&map, Qt::LeftButton, {}, at());
  EXPECT_TRUE(map.Selection.empty());
  answer(1, true);
  QTest::mouseClick(&map, Qt::LeftButton, {}, at());
  ASSERT_EQ(map.Selection.size(), 1u);
  const int chosen = int(std::max(first, second));
  EXPECT_EQ(map.Selection[0], (TSelectedObject{100, 1, layer.IndexOfCode(chosen)}));
  EXPECT_TRUE(map.Arrow.Shown());
  // The other well alone under the pointer: selected without a window.
  map.World.ViewExtent = {secondX - hw, secondY - hh, secondX + hw, secondY + hh};
  map.Redraw();
  caption.clear();
  answer(-1, false); // would close a window, were one to open
  QTest::mouseClick(&map, Qt::LeftButton, {},
                    {map.World.WorldToScreenX(secondX), map.World.WorldToScreenY(secondY)});
  QApplication::processEvents();
  EXPECT_TRUE(caption.isEmpty()) << "no choice for one object";
  ASSERT_EQ(map.Selection.size(), 1u);
  EXPECT_EQ(map.Selection[0], (TSelectedObject{100, 1, layer.IndexOfCode(int(second))}));
  EXPECT_EQ(map.Arrow.X(), secondX);
}

TEST_F(MainWindow, ShowingTheWindowMakesTheFirstLineOfBothListsCurrent) {
  Form->hide();
  Form->lboxObjects->setCurrentRow(3);
  Form->lboxLayers->setCurrentRow(2);
  Form->show();
  EXPECT_EQ(Form->lboxObjects->currentRow(), 0);
  EXPECT_EQ(Form->lboxLayers->currentRow(), 0);
}

TEST_F(MainWindow, DraggingTheSplitterWidensThePanelsAndNothingElseMoves) {
  Form->resize(1000, 700);
  QApplication::processEvents();
  const int before = Form->pnlLayers->width();
  const QRect tools = Form->pnlTools->geometry();
  const QRect panel = Form->pnlLayers->geometry();
  const int mapWidth = Form->Map->width();
  QWidget* split = Form->pnlSplit;
  const QPoint grip(1, 10);
  auto moveTo = [&](int dx) {
    const QPoint global = split->mapToGlobal(grip) + QPoint(dx, 0);
    QMouseEvent move(QEvent::MouseMove, split->mapFromGlobal(global), global, Qt::NoButton,
                     Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(split, &move);
    QApplication::processEvents(); // the layout runs between the moves
  };
  const QPoint pressedAt = split->mapToGlobal(grip);
  QTest::mousePress(split, Qt::LeftButton, {}, grip);
  QApplication::processEvents();
  EXPECT_FALSE(Form->Map->isVisible()) << "the map is hidden during the drag";
  EXPECT_EQ(Form->pnlTools->geometry(), tools) << "the tool bar stays where it was";
  EXPECT_EQ(Form->pnlLayers->geometry(), panel) << "the panel stays where it was";
  const QPoint start = split->mapToGlobal(grip);
  moveTo(pressedAt.x() - start.x() - 10);
  moveTo(pressedAt.x() - split->mapToGlobal(grip).x() - 30);
  EXPECT_EQ(Form->pnlLayers->width(), before + 30) << "the panel follows the pointer";
  EXPECT_EQ(Form->pnlLayers->geometry().right(), panel.right());
  EXPECT_EQ(Form->pnlTools->geometry(), tools);
  const QPoint end = split->mapFromGlobal(pressedAt - QPoint(30, 0));
  QTest::mouseRelease(split, Qt::LeftButton, {}, end);
  QApplication::processEvents();
  EXPECT_EQ(Form->pnlLayers->width(), before + 30) << "and keeps its width";
  EXPECT_TRUE(Form->Map->isVisible());
  EXPECT_EQ(Form->Map->width(), mapWidth - 30);
  EXPECT_EQ(Form->pnlTools->geometry(), tools);
}

TEST_F(MainWindow, AnInfoClickOnABuildingSelectsItAndShowsItsInformation) {
  TFormSelectInfo info(*Data, Form.get());
  Form->SetSelectInfo(&info);
  TFAMap& map = *Form->Map;
  const int buildings = ChooseLayer(QString::fromUtf8("Будинки"));
  ASSERT_GE(buildings, 0);
  EXPECT_EQ(map.ActiveLayer, buildings);
  map.Redraw();
  // A point well inside some building that is on the screen.
  TGeometryFile file(map.Layers[size_t(buildings)]->FullPath);
  TGeometryFile::Record r;
  QPoint at;
  int expected = -1;
  while (expected < 0 && file.Next(r)) {
    const TGeometryFile::Parts parts = file.ReadParts(r);
    std::vector<TWorldPoint> ring;
    for (int k = parts.Starts[0]; k < parts.Starts[1]; ++k)
      ring.push_back(file.PointAt(parts, k));
    const double cx = (r.XMin + r.XMax) / 2, cy = (r.YMin + r.YMax) / 2;
    at = {map.World.WorldToScreenX(cx), map.World.WorldToScreenY(cy)};
    if (TWorld::PointInPolygon(ring, int(ring.size()), map.World.ScreenToWorldX(at.x()),
                               map.World.ScreenToWorldY(at.y())) &&
        map.rect().adjusted(5, 5, -5, -5).contains(at))
      expected = r.Index;
  }
  ASSERT_GE(expected, 0) << map.width() << "x" << map.height() << " " << at.x() << "," << at.y();
  Form->sbInfoClick();
  QTest::mouseClick(&map, Qt::LeftButton, {}, at);
  ASSERT_EQ(map.Selection.size(), 1u);
  EXPECT_EQ(map.Selection[0].ObjectIndex, expected);
  EXPECT_TRUE(info.isVisible());
  EXPECT_FALSE(info.lblText->text().trimmed().isEmpty());
  EXPECT_TRUE(Form->Action("ppmiInfoPlus")->isVisible());
  Form->sbZoomInClick(); // leaving the info tool closes the window
  EXPECT_FALSE(info.isVisible());
}

TEST_F(MainWindow, AnInfoClickOnAHydrantSelectsItsRowAndShowsItsNameAndAddress) {
  TFormSelectInfo info(*Data, Form.get());
  Form->SetSelectInfo(&info);
  TFAMap& map = *Form->Map;
  const int hydrants = ChooseLayer(QString::fromUtf8("Пожежні гідранти"));
  ASSERT_GE(hydrants, 0);
  auto* layer = dynamic_cast<TDBPointsLayer*>(map.Layers[size_t(hydrants)].get());
  ASSERT_NE(layer, nullptr);
  map.Redraw();
  // A hydrant well inside the map.
  db::Table& objects = layer->Objects();
  const size_t fx = objects.FieldByName("X").FieldNo(), fy = objects.FieldByName("Y").FieldNo();
  int row = -1;
  QPoint at;
  double x = 0, y = 0;
  for (int r = 0; r < objects.RecordCount() && row < 0; ++r) {
    x = db::ValueToFloat(objects.ValueAt(r, fx));
    y = db::ValueToFloat(objects.ValueAt(r, fy));
    at = {map.World.WorldToScreenX(x), map.World.WorldToScreenY(y)};
    if (map.rect().adjusted(20, 20, -20, -20).contains(at)) row = r;
  }
  ASSERT_GE(row, 0);
  Form->sbInfoClick();
  QTest::mouseClick(&map, Qt::LeftButton, {}, at + QPoint(2, -1));
  ASSERT_EQ(map.Selection.size(), 1u);
  EXPECT_EQ(map.Selection[0], (TSelectedObject{100, 3, row}));
  EXPECT_TRUE(map.Arrow.Shown());
  EXPECT_EQ(map.Arrow.X(), x) << "the arrow points at the hydrant itself";
  EXPECT_EQ(map.Arrow.Y(), y);
  ASSERT_TRUE(info.isVisible());
  objects.SetRecNo(row + 1);
  const QString expected =
      objects.FieldByName("NAME").AsString() + " " + objects.FieldByName("TYPE").AsString() + " " +
      objects.FieldByName("STREET").AsString() + ", " + objects.FieldByName("NUMBER").AsString();
  EXPECT_TRUE(expected.startsWith(QString::fromUtf8("ПГ-"))) << expected.toStdString();
  EXPECT_EQ(info.lblText->text(), expected);
  // A click on empty ground finds nothing and keeps the selection empty.
  QTest::mouseClick(&map, Qt::LeftButton, {}, {2, 2});
  EXPECT_TRUE(map.Selection.empty());
}

TEST_F(MainWindow, MeasuringADistanceClickByClickAndFinishingWithADoubleClick) {
  TFAMap& map = *Form->Map;
  map.Redraw();
  auto* overlay = dynamic_cast<TDistationLayer*>(map.Measuring.Overlay());
  ASSERT_NE(overlay, nullptr);
  Form->MeasurementCommands->sbAddPathClick();
  EXPECT_EQ(map.Mode, TFAMap::ModeMeasure);
  EXPECT_TRUE(Form->FormInfoPath->isVisible());
  EXPECT_EQ(Form->FormInfoPath->LabelPathLeng->text(), QString::fromUtf8("0.00 м"));
  QLocale::setDefault(QLocale::c());
  QTest::mouseClick(&map, Qt::LeftButton, {}, {100, 100});
  QTest::mouseClick(&map, Qt::LeftButton, {}, {130, 140}); // 50 pixels
  const double pixel = 1 / map.World.Scale;
  EXPECT_EQ(Form->FormInfoPath->LabelLineLeng->text(),
            QString::number(50 * pixel, 'f', 2) + QString::fromUtf8(" м"));
  DoubleClick(&map, {130, 200});
  ASSERT_EQ(overlay->Items.size(), 1u);
  const TDistation& d = *overlay->Items[0];
  EXPECT_EQ(d.Points.size(), 4u) << "both presses of the double click add their point";
  EXPECT_NEAR(d.Value, 110 * pixel, 1e-6 * pixel * 110);
  EXPECT_EQ(d.Color, Form->MeasurementCommands->MeasureColor);
  EXPECT_EQ(map.Mode, TFAMap::ModeNone);
  EXPECT_FALSE(Form->Button("sbAddPath")->isChecked()) << "the tool is released";

  // Areas hide the path-length window; Escape gives the measurement up.
  Form->MeasurementCommands->sbAddSClick();
  EXPECT_FALSE(Form->FormInfoPath->isVisible());
  QTest::mouseClick(&map, Qt::LeftButton, {}, {300, 100});
  QTest::keyClick(&map, Qt::Key_Escape);
  EXPECT_FALSE(overlay->Measuring);
  EXPECT_EQ(overlay->Items.size(), 1u);
  EXPECT_FALSE(Form->Button("sbAddS")->isChecked());
}

TEST_F(MainWindow, DeletingAMeasurementAsksFirstAndAClickBesideAsksNothing) {
  TFAMap& map = *Form->Map;
  map.Redraw();
  auto* overlay = dynamic_cast<TDistationLayer*>(map.Measuring.Overlay());
  const TWorld& w = map.World;
  overlay->StartMeasurement(0x000000FF, 0);
  overlay->AddPoint(w, w.ScreenToWorldX(100), w.ScreenToWorldY(100));
  overlay->AddPoint(w, w.ScreenToWorldX(300), w.ScreenToWorldY(100));
  overlay->FinishMeasurement(w);
  environment->Messages.Shown.clear();
  Form->MeasurementCommands->sbDelPathClick();
  EXPECT_EQ(map.CursorNumber(), 1111);
  QTest::mouseClick(&map, Qt::LeftButton, {}, {200, 160});
  EXPECT_TRUE(environment->Messages.Shown.isEmpty());
  EXPECT_EQ(overlay->SelectedIndex, -1);
  environment->Messages.Answer = false;
  QTest::mouseClick(&map, Qt::LeftButton, {}, {200, 101});
  EXPECT_EQ(environment->Messages.Shown,
            QStringList{QString::fromUtf8("Видалити цей пішоходний маршрут?")});
  EXPECT_EQ(overlay->Items.size(), 1u) << "answered Cancel";
  environment->Messages.Answer = true;
  QTest::mouseClick(&map, Qt::LeftButton, {}, {200, 99});
  EXPECT_TRUE(overlay->Items.empty());
  EXPECT_FALSE(map.Arrow.Shown());
  environment->Messages.Shown.clear();
}

TEST_F(MainWindow, AfterAnAreaIsKeptAndErasedTheScreenIsTheMapAsItIsNow) {
  TFAMap& map = *Form->Map;
  map.Redraw();
  auto* overlay = dynamic_cast<TDistationLayer*>(map.Measuring.Overlay());
  const TWorld& w = map.World;
  overlay->StartMeasurement(0x000000FF, 1);
  for (QPoint p : {QPoint(100, 100), QPoint(300, 100), QPoint(300, 250), QPoint(100, 250)})
    overlay->AddPoint(w, w.ScreenToWorldX(p.x()), w.ScreenToWorldY(p.y()));
  overlay->FinishMeasurement(w);
  map.Redraw();
  Form->MeasurementCommands->sbDelPathClick();
  environment->Messages.Answer = false;
  environment->Messages.Shown.clear();
  QTest::mouseClick(&map, Qt::LeftButton, {}, {200, 180}); // inside the area: asked, kept
  EXPECT_EQ(environment->Messages.Shown, QStringList{QString::fromUtf8("Видалити цю площину?")});
  EXPECT_EQ(overlay->Items.size(), 1u);
  EXPECT_EQ(map.Screen, map.BackBuffer) << "nothing of the blink or the arrow stays";
  EXPECT_TRUE(map.Measuring.Unsaved());
  Form->MeasurementCommands->sbErasePathsClick();
  // Erased on purpose: nothing is asked to be saved after, no length stays shown.
  EXPECT_FALSE(map.Measuring.Unsaved());
  auto* lengths = Form->findChild<TFormInfoPath*>();
  ASSERT_NE(lengths, nullptr);
  EXPECT_FALSE(lengths->isVisible());
  EXPECT_TRUE(lengths->LabelPathLeng->text().isEmpty())
      << lengths->LabelPathLeng->text().toStdString();
  QWheelEvent wheel(QPointF(200, 180), map.mapToGlobal(QPointF(200, 180)), {}, {0, 120},
                    Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
  QApplication::sendEvent(&map, &wheel); // zoom in
  Form->MeasurementCommands->sbDelPathClick();
  QTest::mouseClick(&map, Qt::LeftButton, {}, {200, 180}); // nothing there now
  EXPECT_EQ(map.Screen, map.BackBuffer) << "no patch of the old picture comes back";
  environment->Messages.Shown.clear();
}

TEST_F(MainWindow, AnInfoFileWrittenOnWindowsOpensTheDocumentWhateverItsCase) {
  // The first building with a document gets one named with "\\" and other letter case.
  const QString maps = Data->MapsDir, refs = Data->RefDir;
  db::Table buildings(maps, "Buildings.dbf");
  buildings.Open();
  int record = -1;
  for (buildings.First(); !buildings.Eof() && record < 0; buildings.Next())
    if (!buildings.FieldByName("InfoFile").AsString().isEmpty()) record = buildings.RecNo() - 1;
  ASSERT_GE(record, 0);
  buildings.SetRecNo(record + 1);
  const QString original = buildings.FieldByName("InfoFile").AsString();
  auto setInfoFile = [&](const QString& value) {
    buildings.Edit();
    buildings.FieldByName("InfoFile").SetAsString(value);
    buildings.Post();
  };
  setInfoFile("Docs\\Post.HTM");
  QDir(refs).mkpath("docs");
  QFile document(refs + "/docs/post.htm");
  ASSERT_TRUE(document.open(QIODevice::WriteOnly));
  document.close();
  // The viewer is a script that writes down what it was given.
  const QString given = Program.filePath("given.txt");
  QFile viewer(Program.filePath("viewer.sh"));
  ASSERT_TRUE(viewer.open(QIODevice::WriteOnly));
  viewer.write(QString("#!/bin/sh\necho \"$1\" > '%1'\n").arg(given).toUtf8());
  viewer.close();
  viewer.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
  Form->ContentCommands->SetHtmlViewer(viewer.fileName());
  Form->ShowObjectInfoFile(2, 1, record);
  QFile out(given);
  // The shell makes the file before it writes the line into it.
  for (int wait = 0; wait < 100 && out.size() == 0; ++wait)
    QTest::qWait(50);
  ASSERT_TRUE(out.open(QIODevice::ReadOnly));
  EXPECT_EQ(QString::fromUtf8(out.readAll()).trimmed(), refs + "/docs/post.htm");
  setInfoFile(original); // the atlas is shared by the tests of this program
}

TEST_F(MainWindow, MeasurementFilesFromTheWindowReportTheirFaults) {
  TFAMap& map = *Form->Map;
  map.Redraw();
  auto* overlay = dynamic_cast<TDistationLayer*>(map.Measuring.Overlay());
  overlay->StartMeasurement(0x00008000, 1);
  for (QPoint p : {QPoint(10, 10), QPoint(60, 10), QPoint(60, 60)})
    overlay->AddPoint(map.World, map.World.ScreenToWorldX(p.x()), map.World.ScreenToWorldY(p.y()));
  overlay->FinishMeasurement(map.World);
  const QString path = Program.filePath("areas.pth");
  Form->MeasurementCommands->SaveMeasurementsTo(path);
  Form->MeasurementCommands->sbErasePathsClick();
  EXPECT_TRUE(overlay->Items.empty());
  Form->MeasurementCommands->LoadMeasurementsFrom(path);
  ASSERT_EQ(overlay->Items.size(), 1u);
  EXPECT_GT(overlay->Items[0]->Value, 0);

  QFile broken(Program.filePath("broken.pth"));
  ASSERT_TRUE(broken.open(QIODevice::WriteOnly));
  broken.write("*Distations*\r\n1\r\nDistation #0\r\n255\r\n0\r\n2\r\n1 2\r\n");
  broken.close();
  environment->Messages.Shown.clear();
  Form->MeasurementCommands->LoadMeasurementsFrom(broken.fileName());
  ASSERT_EQ(environment->Messages.Shown.size(), 1);
  EXPECT_TRUE(environment->Messages.Shown[0].contains("broken.pth"));
  EXPECT_TRUE(environment->Messages.Shown[0].contains(QString::fromUtf8("рядок 8")));
  EXPECT_TRUE(overlay->Items.empty());
  environment->Messages.Shown.clear();
  Form->MeasurementCommands->SaveMeasurementsTo(Program.filePath("no/such/folder/x.pth"));
  EXPECT_EQ(environment->Messages.Shown.size(), 1);
  environment->Messages.Shown.clear();
}

TEST_F(MainWindow, MeasuringNearASideMovesTheViewByHalfTheWidth) {
  TFAMap& map = *Form->Map;
  map.Redraw();
  Form->MeasurementCommands->sbAddPathClick();
  QTest::mouseClick(&map, Qt::LeftButton, {}, {200, 150});
  const TExtent before = map.World.ViewExtent;
  const double H = std::lround(map.width() / 2.0) / map.World.Scale;
  QMouseEvent move(QEvent::MouseMove, QPointF(3, 150), map.mapToGlobal(QPointF(3, 150)),
                   Qt::NoButton, Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(&map, &move);
  EXPECT_NEAR(map.World.ViewExtent.XMin, before.XMin - H, 1e-6 * H);
  EXPECT_NEAR(map.World.ViewExtent.YMin, before.YMin, 1e-6 * H);
  // In the middle nothing moves.
  const TExtent after = map.World.ViewExtent;
  QMouseEvent middle(QEvent::MouseMove, QPointF(300, 200), map.mapToGlobal(QPointF(300, 200)),
                     Qt::NoButton, Qt::NoButton, Qt::NoModifier);
  QApplication::sendEvent(&map, &middle);
  EXPECT_DOUBLE_EQ(map.World.ViewExtent.XMin, after.XMin);
  // The pointer leaves the map to the left: no moves come, yet the view scrolls that way.
  QCursor::setPos(map.mapToGlobal(QPoint(-20, 150)));
  QEvent leave(QEvent::Leave);
  QApplication::sendEvent(&map, &leave);
  QTest::qWait(TMeasureTool::kOutsideInterval + 200);
  EXPECT_LE(map.World.ViewExtent.XMin, after.XMin - H * 0.999);
  // Back inside: the scrolling stops.
  QCursor::setPos(map.mapToGlobal(QPoint(300, 200)));
  QEnterEvent enter(QPointF(300, 200), QPointF(300, 200), map.mapToGlobal(QPointF(300, 200)));
  QApplication::sendEvent(&map, &enter);
  const double settled = map.World.ViewExtent.XMin;
  QTest::qWait(TMeasureTool::kOutsideInterval + 200);
  EXPECT_DOUBLE_EQ(map.World.ViewExtent.XMin, settled);
}

// A straight service pipe has a box without width or height: locating it zooms in on it, as a
// straight zoom drag does, instead of out to the widest view.
TEST(MapControl, LocatingAStraightPipeZoomsInOnIt) {
  ShownMap m;
  TGeometryFile pipes(Atlas() + "/MAPS/Water.mds");
  TGeometryFile::Record r;
  int straight = -1;
  while (straight < 0 && pipes.Next(r))
    if (r.HasBox && (r.XMin == r.XMax) != (r.YMin == r.YMax)) straight = r.Index;
  ASSERT_GE(straight, 0);
  m.Map.World.ViewExtent = {r.XMin - 5000, r.YMin - 4000, r.XMin - 4000, r.YMin - 3000};
  m.Map.Redraw(); // a view far away from the pipe
  const double before = m.Map.World.Scale;
  ASSERT_TRUE(m.Map.LocateLayerObject(101, 1, straight));
  const TExtent& v = m.Map.World.VisibleExtent;
  EXPECT_TRUE(TWorld::PointInRect(v.XMin, v.YMin, v.XMax, v.YMax, (r.XMin + r.XMax) / 2,
                                  (r.YMin + r.YMax) / 2));
  EXPECT_GE(m.Map.World.Scale, before) << "zoomed in, not out";
  EXPECT_LT(v.XMax - v.XMin, 2000) << "the pipe fills the view";
}

// On a map a few pixels wide no scale threshold can be reached: the zoom loops still end.
TEST(MapControl, LocatingOnAMapAFewPixelsWideEnds) {
  ShownMap m;
  m.Map.resize(3, 2);
  QApplication::processEvents();
  for (auto& layer : m.Map.Layers)
    if (layer->Category == 7 && layer->Class == 4) {
      layer->ZoomInScale = 1e6;
      layer->ZoomOutScale = 0;
    }
  m.Map.World.ViewExtent = {0, 0, 10, 10};
  EXPECT_TRUE(m.Map.LocateLayerObject(7, 4, 3));
  for (auto& layer : m.Map.Layers)
    if (layer->Category == 7 && layer->Class == 4) {
      layer->ZoomInScale = 0;
      layer->ZoomOutScale = 1e-9;
    }
  m.Map.World.ViewExtent = {0, 0, 10, 10};
  EXPECT_TRUE(m.Map.LocateLayerObject(7, 4, 3));
}

// Measuring near a side of the view moves it by half the control's width, rounded to the nearest
// pixel with halves to the even one: 401 pixels move it by 200, not 201.
TEST_F(MainWindow, MeasuringNearASideMovesTheViewByHalfTheWidthRoundedToEven) {
  TFAMap& map = *Form->Map;
  map.setFixedSize(401, 300);
  QApplication::processEvents();
  map.Redraw();
  Form->MeasurementCommands->sbAddPathClick();
  QTest::mouseClick(&map, Qt::LeftButton, {}, {200, 150});
  const double before = map.World.VisibleExtent.XMin, scale = map.World.Scale;
  QTest::mouseMove(&map, {0, 150});
  const double moved = (before - map.World.VisibleExtent.XMin) * scale;
  EXPECT_NEAR(std::fabs(moved), 200, 1e-6) << moved;
  QTest::keyClick(&map, Qt::Key_Escape);
}

// Without a SAVE folder beside the program the save dialog opens in the program's folder with
// no file name (Enter would otherwise save "SAVE.pth").
TEST_F(MainWindow, TheSaveDialogStartsWithoutAFileName) {
  QDir(Data->AppDir + "/SAVE").removeRecursively();
  QString proposed = "(no dialog)";
  QTimer::singleShot(0, [&] {
    auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
    if (!dialog) return;
    proposed.clear();
    for (QLineEdit* edit : dialog->findChildren<QLineEdit*>())
      if (edit->isVisible()) proposed += edit->text();
    dialog->reject();
  });
  Form->MeasurementCommands->sbSavePathClick();
  EXPECT_EQ(proposed, "");
}

// The arrow is pure red in every frame (the Windows colour 0x000000FF).
TEST(PointerArrow, TheFramesArePureRed) {
  for (int n = 1; n <= 4; ++n) {
    const QImage frame =
        QImage(QString(":/arrow/AN%1.xpm").arg(n)).convertToFormat(QImage::Format_RGB32);
    ASSERT_FALSE(frame.isNull()) << n;
    int red = 0, otherReds = 0;
    for (int y = 0; y < frame.height(); ++y)
      for (int x = 0; x < frame.width(); ++x) {
        const QColor c = frame.pixelColor(x, y);
        red += c == QColor(255, 0, 0);
        otherReds += c.red() > 128 && c.green() == 0 && c.blue() == 0 && c.red() != 255;
      }
    EXPECT_GT(red, 20) << n;
    EXPECT_EQ(otherReds, 0) << n;
  }
}
