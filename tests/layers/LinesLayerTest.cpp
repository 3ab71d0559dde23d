// The lines layer on geometry written for each test: drawing and its thresholds, the pick box,
// locating and blinking, style files, and broken files.

#include "layers/LinesLayer.h"

#include "ShapeWriter.h"

#include "base/FileError.h"
#include "gfx/DrawHelpers.h"

#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

struct GuiEnvironment : ::testing::Environment {
  void SetUp() override {
    static int argc = 1;
    static char name[] = "layers_tests";
    static char* argv[] = {name, nullptr};
    if (!QGuiApplication::instance()) App = new QGuiApplication(argc, argv);
    gfx::SetDelayHandler([](int) {}); // blinking does not wait in tests
  }
  void TearDown() override { delete App; }
  QGuiApplication* App = nullptr;
};
const auto* const gui = ::testing::AddGlobalTestEnvironment(new GuiEnvironment);

using demo::Ring;

class LinesLayerTest : public ::testing::Test {
protected:
  // Writes the lines as the layer's geometry file; the view is (0,0)–(100,100) on 100 × 100 pixels.
  void Write(const std::vector<std::vector<Ring>>& objects) {
    demo::ShapeWriter w(demo::ShapeType::PolyLine);
    for (const auto& parts : objects)
      w.AddShape(parts);
    w.Save(Path());
    Layer.FullPath = Path();
  }
  QString Path() const { return Dir.path() + "/lines.mds"; }
  void SetUp() override {
    Layer.Visibled = Layer.Selected = true;
    Layer.PenColor = 0x000000FF;
    Layer.PenWidth = 1;
    World.SetView(100, 100, 0, 0, 100, 100);
  }
  int Ink(const QImage& image) {
    int n = 0;
    for (int y = 0; y < image.height(); ++y)
      for (int x = 0; x < image.width(); ++x)
        n += QColor(image.pixel(x, y)) != Qt::white;
    return n;
  }
  // The picture is two pixels wider than the view, so that lines on the view's right and top
  // edges land on it.
  QImage Drawn() {
    QImage image(102, 102, QImage::Format_RGB32);
    image.fill(Qt::white);
    gfx::Canvas canvas(image);
    Layer.Draw(canvas, World);
    return image;
  }
  QTemporaryDir Dir;
  TLinesLayer Layer;
  TWorld World;
  QImage Scratch = QImage(100, 100, QImage::Format_RGB32);
};

} // namespace

TEST_F(LinesLayerTest, AHeaderOnlyFileDrawsAndFindsNothing) {
  Write({});
  EXPECT_EQ(QFile(Path()).size(), 100);
  EXPECT_EQ(Ink(Drawn()), 0);
  gfx::Canvas c(Scratch);
  EXPECT_EQ(Layer.FindObject(c, World, 50, 50, true, false), -1);
  EXPECT_FALSE(Layer.LocateObject(0, World));
}

TEST_F(LinesLayerTest, ThresholdsDrawAtEqualityAndBoxesThatOnlyTouch) {
  Write({{{{10, 50}, {90, 50}}}});
  Layer.ZoomInScale = World.Scale;
  Layer.ZoomOutScale = World.Scale;
  EXPECT_GT(Ink(Drawn()), 50);
  Layer.ZoomInScale = World.Scale * 1.01;
  EXPECT_EQ(Ink(Drawn()), 0);
  Layer.ZoomInScale = 0;
  Layer.ZoomOutScale = World.Scale * 0.99;
  EXPECT_EQ(Ink(Drawn()), 0);
  Layer.ZoomOutScale = 0;
  // A line whose box only touches the view's edge is drawn.
  Write({{{{100, 20}, {150, 80}}}});
  EXPECT_GT(Ink(Drawn()), 0);
  Write({{{{100.5, 20}, {150, 80}}}});
  EXPECT_EQ(Ink(Drawn()), 0);
}

TEST_F(LinesLayerTest, ScaledPenWidthRoundsHalfToEven) {
  Layer.PenScale = true;
  World.Scale = 3;
  EXPECT_EQ(Layer.PixelWidth(0.5, World), 2);
  World.Scale = 5;
  EXPECT_EQ(Layer.PixelWidth(0.5, World), 2);
  World.Scale = 7;
  EXPECT_EQ(Layer.PixelWidth(0.5, World), 4);
  Layer.PenScale = false;
  EXPECT_EQ(Layer.PixelWidth(2.5, World), 2);
}

TEST_F(LinesLayerTest, TheEarlierObjectWinsWhereTheyOverlap) {
  Write({{{{0, 50}, {100, 50}}}, {{{0, 51}, {100, 51}}}, {{{50, 0}, {50, 100}}}});
  gfx::Canvas c(Scratch);
  EXPECT_EQ(Layer.FindObject(c, World, 50, 50, false, false), 0);
  EXPECT_DOUBLE_EQ(Layer.FoundX, 50);
  EXPECT_DOUBLE_EQ(Layer.FoundY, 50);
  EXPECT_EQ(Layer.FindObject(c, World, 50, 80, false, false), 2);
  EXPECT_EQ(Layer.FindObject(c, World, 20, 80, false, false), -1);
  // A segment wholly inside the pick box reaches none of its sides.
  Write({{{{49, 49}, {51, 51}}}});
  EXPECT_EQ(Layer.FindObject(c, World, 50, 50, false, false), -1);
}

TEST_F(LinesLayerTest, LayersThatCannotBePickedAreFoundOnlyWhenAsked) {
  Write({{{{0, 50}, {100, 50}}}});
  gfx::Canvas c(Scratch);
  Layer.Selected = false;
  EXPECT_EQ(Layer.FindObject(c, World, 50, 50, false, false), -1);
  EXPECT_EQ(Layer.FindObject(c, World, 50, 50, true, false), 0);
  Layer.Visibled = false;
  EXPECT_EQ(Layer.FindObject(c, World, 50, 50, true, false), -1);
}

TEST_F(LinesLayerTest, LocateAnchorsOnTheMiddlePartAndMovesTheViewOnlyNearTheEdge) {
  const Ring a{{10, 10}, {20, 20}}, b{{30, 30}, {40, 40}}, c{{60, 60}, {70, 70}},
      d{{80, 80}, {90, 90}};
  Write({{a, b, c}, {a, b, c, d}, {{{84.5, 50}, {85.5, 50}}}, {{{74.5, 50}, {75.5, 50}}}});
  EXPECT_TRUE(Layer.LocateObject(0, World));
  EXPECT_DOUBLE_EQ(Layer.FoundX, 15); // three parts: part 0
  EXPECT_TRUE(Layer.LocateObject(1, World));
  EXPECT_DOUBLE_EQ(Layer.FoundX, 35); // four parts: part 1
  // Scale 1 here: an anchor 25 pixels inside the edge leaves the view, 15 pixels moves it.
  World.SetView(100, 100, 0, 0, 100, 100);
  const TExtent before = World.ViewExtent;
  EXPECT_TRUE(Layer.LocateObject(3, World));
  EXPECT_EQ(World.ViewExtent.XMin, before.XMin);
  EXPECT_TRUE(Layer.LocateObject(2, World));
  EXPECT_DOUBLE_EQ(World.ViewExtent.XMin, 84.5);
  EXPECT_DOUBLE_EQ(World.ViewExtent.XMax, 85.5);
  EXPECT_FALSE(Layer.LocateObject(4, World));
  EXPECT_FALSE(Layer.LocateObject(-1, World));
}

TEST_F(LinesLayerTest, ObjectsOfManyPartsAreDrawnFoundAndFlashedWhole) {
  std::vector<Ring> parts;
  for (int k = 0; k < 2500; ++k)
    parts.push_back({{k * 0.04, 10.0}, {k * 0.04, 12.0}});
  parts.push_back({{0, 90}, {100, 90}}); // the 2501st part
  Write({parts});
  EXPECT_GT(Ink(Drawn()), 100);
  gfx::Canvas c(Scratch);
  EXPECT_EQ(Layer.FindObject(c, World, 50, 90, true, false), 0);
  Scratch.fill(Qt::white);
  const QImage before = Scratch.copy();
  int flushes = 0;
  c.OnFlush = [&] {
    ++flushes;
    if (flushes == 1) {
      EXPECT_NE(QColor(Scratch.pixel(50, 10)), QColor(Qt::white))
          << "the last part (world y 90) blinks too";
    }
  };
  Layer.FlashObject(0, c, World);
  EXPECT_EQ(flushes, 6);
  EXPECT_EQ(Scratch, before) << "six not-xor passes leave the picture as it was";
}

TEST_F(LinesLayerTest, PerObjectPensComeFromTheStyleFile) {
  Write({{{{0, 30}, {100, 30}}}, {{{0, 70}, {100, 70}}}});
  Layer.RenderType = -1;
  EXPECT_THROW(Drawn(), base::FileError) << "no style file";
  QByteArray styles;
  demo::AppendLineStyle(styles, 0x0000FF00, 0, 1);
  demo::AppendLineStyle(styles, 0x00FF0000, 0, 1);
  // Written on Windows as "LINES.R": found whatever its letter case.
  QFile f(Dir.path() + "/LINES.R");
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write(styles);
  f.close();
  EXPECT_EQ(Layer.StyleFilePath(), Dir.path() + "/LINES.R");
  const QImage image = Drawn();
  EXPECT_EQ(QColor(image.pixel(50, 70)), QColor(0, 255, 0));
  EXPECT_EQ(QColor(image.pixel(50, 30)), QColor(0, 0, 255));
}

TEST_F(LinesLayerTest, BrokenFilesRaiseAnErrorNamingTheFile) {
  Write({{{{0, 30}, {100, 30}}}, {{{0, 70}, {100, 70}}}});
  QFile f(Path());
  ASSERT_TRUE(f.resize(f.size() - 10));
  try {
    Drawn();
    FAIL();
  } catch (const base::FileError& e) {
    EXPECT_TRUE(e.Path.endsWith("lines.mds"));
    EXPECT_TRUE(e.Reason.contains(QString::fromUtf8("запис 2"))) << e.what();
  }
  // A part count larger than the record holds.
  Write({{{{0, 30}, {100, 30}}}});
  ASSERT_TRUE(f.open(QIODevice::ReadWrite));
  f.seek(100 + 8 + 36);
  f.write(QByteArray("\xFF\xFF\x00\x00", 4));
  f.close();
  gfx::Canvas c(Scratch);
  EXPECT_THROW(Layer.FindObject(c, World, 50, 30, true, false), base::FileError);
  QFile::remove(Path());
  EXPECT_THROW(Drawn(), base::FileError);
}
