// A tool brought by a file of its own: added with one line, the map hands it its events.
#include "core/FAMap.h"

#include <QKeyEvent>
#include <QPainter>
#include <QTest>
#include <gtest/gtest.h>

namespace {

class TCountingTool : public TMapTool {
public:
  using TMapTool::TMapTool;
  static constexpr int kMode = 900;
  int Mode() const override { return kMode; }
  int Cursor() const override { return 1002; }
  void Press(int x, int y) override {
    ++Presses;
    PressedAt = QPoint(x, y);
  }
  void Move(int, int) override { ++Moves; }
  void Release(int, int) override {
    ++Releases;
    DraggedAtRelease = Map.Gesture.Dragged;
  }
  bool Key(QKeyEvent& e) override {
    ++Keys;
    return e.key() == Qt::Key_Space;
  }
  void Abandon() override { ++Abandons; }
  void Paint(QPainter& onScreen) override {
    ++Paints;
    onScreen.fillRect(0, 0, 3, 3, Qt::red);
  }
  int Presses = 0, Moves = 0, Releases = 0, Keys = 0, Abandons = 0, Paints = 0;
  QPoint PressedAt;
  bool DraggedAtRelease = false;
};

void Move(QWidget* w, QPoint to, Qt::MouseButtons held) {
  QMouseEvent move(QEvent::MouseMove, to, w->mapToGlobal(to), Qt::NoButton, held, Qt::NoModifier);
  QApplication::sendEvent(w, &move);
}

} // namespace

TEST(MapTools, AToolAddedByOneLineGetsTheMapsEventsWhileItsModeIsSet) {
  TFAMap map;
  map.resize(200, 150);
  map.show();
  auto owned = std::make_unique<TCountingTool>(map);
  const TCountingTool& tool = *owned;
  map.AddTool(std::move(owned));
  map.SetMode(TCountingTool::kMode);
  EXPECT_EQ(map.CursorNumber(), 1002);

  map.Redraw();
  EXPECT_GE(tool.Paints, 1);
  EXPECT_EQ(map.Screen.pixelColor(1, 1), QColor(Qt::red)) << "the tool paints over the map";
  EXPECT_NE(map.BackBuffer.pixelColor(1, 1), QColor(Qt::red)) << "never into the finished map";

  QTest::mousePress(&map, Qt::LeftButton, {}, {20, 30});
  Move(&map, {80, 90}, Qt::LeftButton);
  QTest::mouseRelease(&map, Qt::LeftButton, {}, {80, 90});
  EXPECT_EQ(tool.Presses, 1);
  EXPECT_EQ(tool.PressedAt, QPoint(20, 30));
  EXPECT_EQ(tool.Moves, 1);
  EXPECT_EQ(tool.Releases, 1);
  EXPECT_TRUE(tool.DraggedAtRelease);

  // A key the tool takes stops there; Escape with the button held takes the gesture back, and
  // its release reaches nobody.
  QTest::keyClick(&map, Qt::Key_Space);
  EXPECT_EQ(tool.Keys, 1);
  QTest::mousePress(&map, Qt::LeftButton, {}, {50, 50});
  QTest::keyClick(&map, Qt::Key_Escape);
  QTest::mouseRelease(&map, Qt::LeftButton, {}, {50, 50});
  EXPECT_EQ(tool.Abandons, 1);
  EXPECT_EQ(tool.Releases, 1);

  // Another mode's tool takes the events from here on.
  map.SetMode(TFAMap::ModePan);
  QTest::mouseClick(&map, Qt::LeftButton, {}, {60, 60});
  EXPECT_EQ(tool.Presses, 2);
  EXPECT_EQ(map.CursorNumber(), 1003);
}
