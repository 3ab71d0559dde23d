// Another program writes the atlas while the window is open: the window reads the change and
// repaints within a second, without being asked; while a window is open over it, it waits.

#include "ui/main/AtlasWatcher.h"
#include "core/CustomLayer.h"
#include "core/FAMap.h"
#include "core/KeptPictures.h"
#include "data/DataModule.h"
#include "db/Table.h"
#include "layers/LinesLayer.h"
#include "ui/main/AtlasCommands.h"
#include "ui/main/FormMap.h"
#include "ui/main/MapViewCommands.h"
#include "ui/panels/LayerPanels.h"

#include "AtlasWriter.h"

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QListWidget>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QWheelEvent>
#include <gtest/gtest.h>
#include <memory>

namespace {

// What the map's streets layer draws with now.
int64_t StreetsPen(TFAMap& map) {
  for (const auto& l : map.Layers)
    if (auto* lines = dynamic_cast<const TLinesLayer*>(l.get());
        lines && l->Category == 7 && l->Class == 4)
      return lines->PenColor;
  return -1;
}

// `vandrel-tables sql` run as another user would, on the atlas's BASE.
void WriteFromAnotherProgram(const QString& base, const QString& sql) {
  QProcess p;
  p.start(VANDREL_TABLES, {"sql", base, sql});
  ASSERT_TRUE(p.waitForFinished(60000));
  ASSERT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
}

// The main window shown over a demo atlas of `part` written to a folder of its own.
class AtlasWatcher : public ::testing::Test {
protected:
  bool Open(int part) {
    demo::WriteAtlas(Atlas.path(), 1, part);
    Data = std::make_unique<TDataModuleVANDREL>(Program.path(), 0, Atlas.path());
    Form = std::make_unique<TFormMap>(*Data);
    Form->show();
    return QTest::qWaitForWindowExposed(Form.get());
  }
  void TearDown() override {
    Form.reset();
    Data.reset();
  }
  QTemporaryDir Program, Atlas;
  std::unique_ptr<TDataModuleVANDREL> Data;
  std::unique_ptr<TFormMap> Form;
};

} // namespace

TEST_F(AtlasWatcher, AnotherProgramsWriteIsShownWithinASecond) {
  ASSERT_TRUE(Open(5));
  TDataModuleVANDREL& data = *Data;
  TFormMap& form = *Form;
  TFAMap& map = *form.Map;
  ASSERT_NE(StreetsPen(map), 0x0000FF);
  WriteFromAnotherProgram(data.BaseDir,
                          "UPDATE classreest SET PenColor = 255 WHERE Category = 7 AND Class = 4");
  QElapsedTimer clock;
  clock.start();
  while (StreetsPen(map) != 0x0000FF && clock.elapsed() < 3000)
    QTest::qWait(20);
  EXPECT_EQ(StreetsPen(map), 0x0000FF);
  EXPECT_LE(clock.elapsed(), 1000 + TAtlasWatcher::kIntervalMs / 2) << "within a second";
  // The shared table of the panels was read again too.
  data.TableClasses.SetIndexName("CLASS_ID");
  ASSERT_TRUE(data.TableClasses.FindKey({int64_t(7), int64_t(4)}));
  EXPECT_EQ(data.TableClasses.FieldByName("PenColor").AsInteger(), 0x0000FF);
  data.TableClasses.SetIndexName("");
  // A window open over the map: the change waits until it is closed.
  QDialog over(&form);
  over.setModal(true);
  over.show();
  WriteFromAnotherProgram(
      data.BaseDir, "UPDATE classreest SET PenColor = 65280 WHERE Category = 7 AND Class = 4");
  QTest::qWait(1200);
  EXPECT_EQ(StreetsPen(map), 0x0000FF) << "not while the user is busy in another window";
  over.close();
  clock.restart();
  while (StreetsPen(map) != 0x00FF00 && clock.elapsed() < 3000)
    QTest::qWait(20);
  EXPECT_EQ(StreetsPen(map), 0x00FF00);
  // The program's own writes are not taken for another user's.
  int taken = 0;
  auto take = form.AtlasCommands->AtlasWatcher->OnChanged;
  form.AtlasCommands->AtlasWatcher->OnChanged = [&] { return ++taken, take(); };
  {
    db::Table own(data.BaseDir, "classreest");
    own.Open();
    own.Edit();
    own.FieldByName("PenWidth").SetAsFloat(3);
    own.Post();
  }
  QTest::qWait(1200);
  EXPECT_EQ(taken, 0);
  WriteFromAnotherProgram(data.BaseDir, "UPDATE classreest SET PenWidth = 4");
  QTest::qWait(1200);
  EXPECT_EQ(taken, 1);
}

// Another program moves the pumps (a table high in the drawing order): the window draws the
// pumps' layer and those above it again, on the picture kept below them; the layers under it
// are not drawn, and the picture is a fresh drawing's, byte for byte.
TEST_F(AtlasWatcher, OnlyTheChangedLayerAndThoseAboveItAreDrawnAgain) {
  ASSERT_TRUE(Open(6));
  TDataModuleVANDREL& data = *Data;
  TFormMap& form = *Form;
  TFAMap& map = *form.Map;
  const double cost = TKeptPictures::MinimumCost;
  TKeptPictures::MinimumCost = 0; // a picture kept after every layer, however quick
  map.Redraw();
  const auto pumps = std::find_if(map.Layers.begin(), map.Layers.end(), [](const auto& l) {
    return l->Category == 101 && l->Class == 2;
  });
  ASSERT_NE(pumps, map.Layers.end());
  const size_t position = size_t(pumps - map.Layers.begin());
  ASSERT_GT(position, 5u);
  map.Content.DrawCounts.clear();
  WriteFromAnotherProgram(data.MapsDir, "UPDATE Pumps SET X = X + 40");
  QElapsedTimer clock;
  clock.start();
  while (map.Content.DrawCounts[std::pair(101, 2)] == 0 && clock.elapsed() < 3000)
    QTest::qWait(20);
  EXPECT_EQ(map.Content.DrawCounts[std::pair(101, 2)], 1);
  for (size_t i = 0; i < map.Layers.size(); ++i) {
    const int drawn = map.Content.DrawCounts[{map.Layers[i]->Category, map.Layers[i]->Class}];
    EXPECT_EQ(drawn, i < position ? 0 : 1) << map.Layers[i]->ClassName.toStdString();
  }
  const QImage kept = map.BackBuffer;
  map.Redraw();
  EXPECT_EQ(kept, map.BackBuffer) << "the same as a drawing from the start";
  TKeptPictures::MinimumCost = cost;
}

// A drawing under way is given up by the next gesture, and nothing of it is shown; after pans,
// a wheel turn, a layer switched off and another program's write, the picture the window ends
// with is a fresh drawing's of the final view, byte for byte.
TEST_F(AtlasWatcher, AfterGesturesSwitchesAndAWriteThePictureIsAFreshDrawings) {
  ASSERT_TRUE(Open(6));
  TDataModuleVANDREL& data = *Data;
  TFormMap& form = *Form;
  TFAMap& map = *form.Map;
  map.Redraw();
  const qint64 finished = map.BackBuffer.cacheKey();
  map.Content.Kept.Forget();
  map.StartDrawing();
  ASSERT_TRUE(map.DrawingInSteps());
  form.ViewCommands->PanBy(0.25, 0);
  EXPECT_FALSE(map.DrawingInSteps()) << "the pan gave the drawing up";
  EXPECT_TRUE(map.Previewing());
  EXPECT_EQ(map.BackBuffer.cacheKey(), finished) << "nothing of the given-up drawing kept";
  QTest::qWait(TFAMap::kSettleDelay + 20); // the pause: a drawing in steps begins
  ASSERT_TRUE(map.DrawingInSteps() || map.BackBuffer.cacheKey() != finished);
  const QPointF at(200, 150);
  QWheelEvent turn(at, map.mapToGlobal(at), {}, {0, 120}, Qt::NoButton, Qt::NoModifier,
                   Qt::NoScrollPhase, false);
  QApplication::sendEvent(&map, &turn);
  EXPECT_FALSE(map.DrawingInSteps());
  form.ViewCommands->PanBy(0, -0.25);
  form.lboxLayers->setCurrentRow(0);
  form.Panels->lboxLayersMouseUp(10); // its lamp
  map.Content.DrawCounts.clear();
  WriteFromAnotherProgram(data.MapsDir, "UPDATE Pumps SET X = X + 40");
  QElapsedTimer clock;
  clock.start();
  while ((map.Content.DrawCounts[std::pair(101, 2)] == 0 || map.DrawingInSteps() ||
          map.Previewing()) &&
         clock.elapsed() < 5000)
    QTest::qWait(20);
  ASSERT_GT(map.Content.DrawCounts[std::pair(101, 2)], 0);
  const QImage shown = map.BackBuffer;
  map.Redraw();
  EXPECT_EQ(shown, map.BackBuffer) << "the same as a drawing from the start";
}
