#include "overlays/ArrowAnimation.h"

#include <QGuiApplication>
#include <gtest/gtest.h>

namespace {

struct GuiEnvironment : ::testing::Environment {
  void SetUp() override {
    static int argc = 1;
    static char name[] = "overlays_tests";
    static char* argv[] = {name, nullptr};
    if (!QGuiApplication::instance()) App = new QGuiApplication(argc, argv);
  }
  void TearDown() override { delete App; }
  QGuiApplication* App = nullptr;
};
const auto* const gui = ::testing::AddGlobalTestEnvironment(new GuiEnvironment);

// A canvas whose every pixel differs, so that any pixel put in the wrong place shows.
QImage Pattern() {
  QImage image(200, 150, QImage::Format_RGB32);
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x)
      image.setPixel(x, y, qRgb(x, y, (x * 7 + y * 3) & 0xFF));
  return image;
}

} // namespace

TEST(ArrowAnimation, FramesSwingForthAndBack) {
  TArrowAnimation arrow;
  QImage canvas = Pattern();
  arrow.Show(canvas, 100, 100);
  EXPECT_TRUE(arrow.Running());
  EXPECT_EQ(arrow.Timer.interval(), 130);
  std::vector<int> drawn;
  for (int i = 0; i < 13; ++i) {
    drawn.push_back(arrow.Frame);
    arrow.Tick();
  }
  EXPECT_EQ(drawn, (std::vector<int>{1, 2, 1, 2, 3, 4, 3, 2, 1, 2, 3, 4, 3}));
}

TEST(ArrowAnimation, OnlyTheArrowBoxChangesAndHidingPutsItBack) {
  TArrowAnimation arrow;
  const QImage original = Pattern();
  QImage canvas = original;
  arrow.Show(canvas, 100, 100);
  for (int i = 0; i < 3; ++i)
    arrow.Tick();
  EXPECT_EQ(arrow.Frame, 2);
  int changedInside = 0;
  for (int y = 0; y < canvas.height(); ++y)
    for (int x = 0; x < canvas.width(); ++x) {
      const bool inside = x >= 79 && x <= 99 && y >= 79 && y <= 99;
      if (canvas.pixel(x, y) == original.pixel(x, y)) continue;
      ASSERT_TRUE(inside) << "pixel " << x << "," << y << " changed outside the arrow's box";
      ++changedInside;
    }
  EXPECT_GT(changedInside, 10) << "the arrow is drawn";
  arrow.Hide(canvas);
  EXPECT_FALSE(arrow.Running());
  EXPECT_EQ(canvas, original);
}

TEST(ArrowAnimation, HideRightAfterShowAndHideBeforeShow) {
  TArrowAnimation arrow;
  const QImage original = Pattern();
  QImage canvas = original;
  arrow.Hide(canvas); // the blank background goes to (-100, -100): off the canvas
  EXPECT_EQ(canvas, original);
  arrow.Show(canvas, 15, 10); // partly off the canvas
  arrow.Hide(canvas);
  EXPECT_EQ(canvas, original);
  // A new picture, then a hide without a show: the pixels saved from the old picture stay out.
  QImage next(canvas.size(), QImage::Format_RGB32);
  next.fill(Qt::green);
  const QImage fresh = next.copy();
  arrow.Hide(next);
  EXPECT_EQ(next, fresh);
}
