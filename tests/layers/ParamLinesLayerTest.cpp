// The parametric lines layer: pen widths sized by an attribute from a scale on, the attribute
// row kept in step with the geometry records, style-file pens, and the blink with discs.

#include "layers/ParamLinesLayer.h"

#include "ShapeWriter.h"

#include "db/DbaseFile.h"
#include "db/Error.h"
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
    gfx::SetDelayHandler([](int) {});
  }
  void TearDown() override { delete App; }
  QGuiApplication* App = nullptr;
};
const auto* const gui = ::testing::AddGlobalTestEnvironment(new GuiEnvironment);

using demo::Ring;

// How many pixels thick the ink of column `x` is.
int Thickness(const QImage& image, int x) {
  int n = 0;
  for (int y = 0; y < image.height(); ++y)
    n += QColor(image.pixel(x, y)) != Qt::white;
  return n;
}

class ParamLinesLayerTest : public ::testing::Test {
protected:
  void SetUp() override {
    Layer.Visibled = Layer.Selected = true;
    Layer.PenColor = 0x000000FF;
    Layer.PenWidth = 2;
    Layer.ParamSizeField = "DIAMETER";
    Layer.ParamSizeKoef = 0.01;
    World.SetView(100, 100, 0, 0, 100, 100); // scale 1
  }
  // Writes the lines and a DIAMETER per line (an empty value where it is null).
  void Write(const std::vector<std::vector<Ring>>& objects,
             const std::vector<db::Value>& diameters) {
    demo::ShapeWriter w(demo::ShapeType::PolyLine);
    for (const auto& parts : objects)
      w.AddShape(parts);
    w.Save(Dir.path() + "/pipes.mds");
    std::vector<std::vector<db::Value>> rows;
    for (const db::Value& d : diameters)
      rows.push_back({d});
    db::DbaseFile::Create(Dir.path() + "/pipes.dbf",
                          {db::MakeDbaseField("DIAMETER", db::FieldType::Float, 10, 2)}, rows);
    Layer.FullPath = Dir.path() + "/pipes.mds";
    Layer.AttrTable.Close();
    Layer.AttrTable.SetDatabaseName(Dir.path());
    Layer.AttrTable.SetTableName("pipes.dbf");
    Layer.AttrTable.Open();
  }
  QImage Drawn() {
    QImage image(100, 100, QImage::Format_RGB32);
    image.fill(Qt::white);
    gfx::Canvas c(image);
    Layer.Draw(c, World);
    return image;
  }
  QTemporaryDir Dir;
  TWorld World;
  TParamLinesLayer Layer;
};

} // namespace

TEST_F(ParamLinesLayerTest, WidthsFollowTheAttributeWithAMinimumOfOne) {
  // Horizontal pipes at y 20, 50 and 80 (screen 80, 50, 20).
  Write({{{{10, 20}, {90, 20}}}, {{{10, 50}, {90, 50}}}, {{{10, 80}, {90, 80}}}},
        {300.0, 10.0, db::Value()});
  const QImage image = Drawn();
  // 2 × 0.01 × 300 = 6; 2 × 0.01 × 10 = 0.2 → 0 → 1; an empty value reads as 0 → 1.
  EXPECT_EQ(Thickness(image.copy(0, 70, 100, 20), 50), 6);
  EXPECT_EQ(Thickness(image.copy(0, 40, 100, 20), 50), 1);
  EXPECT_EQ(Thickness(image.copy(0, 10, 100, 20), 50), 1);
}

TEST_F(ParamLinesLayerTest, TheSizingAppliesOnlyFromItsScaleOn) {
  Write({{{{10, 50}, {90, 50}}}}, {300.0});
  Layer.ZoomInParamScale = 2; // the view's scale is 1
  EXPECT_EQ(Thickness(Drawn(), 50), 2) << "the plain pen width";
  Layer.ZoomInParamScale = 1;
  EXPECT_EQ(Thickness(Drawn(), 50), 6);
  Layer.ParamSizeField.clear();
  EXPECT_EQ(Thickness(Drawn(), 50), 2);
}

TEST_F(ParamLinesLayerTest, ObjectsOutsideTheViewStillAdvanceTheAttributeRow) {
  Write({{{{500, 500}, {600, 500}}}, {{{10, 50}, {90, 50}}}}, {1000.0, 300.0});
  EXPECT_EQ(Thickness(Drawn(), 50), 6) << "the second object takes the second row";
  // An attribute table shorter than the geometry file: the walk stays on its last row.
  Write({{{{10, 20}, {90, 20}}}, {{{10, 80}, {90, 80}}}}, {400.0});
  const QImage image = Drawn();
  EXPECT_EQ(Thickness(image.copy(0, 0, 100, 50), 50), 8);
  EXPECT_EQ(Thickness(image.copy(0, 50, 100, 50), 50), 8);
}

TEST_F(ParamLinesLayerTest, StyleFilePensAreSizedToo) {
  Write({{{{10, 50}, {90, 50}}}}, {200.0});
  Layer.RenderType = -1;
  QByteArray styles;
  demo::AppendLineStyle(styles, 0x0000FF00, 0, 3);
  QFile f(Dir.path() + "/pipes.r");
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write(styles);
  f.close();
  const QImage image = Drawn();
  EXPECT_EQ(QColor(image.pixel(50, 50)), QColor(0, 255, 0));
  EXPECT_EQ(Thickness(image, 50), 6) << "3 × 0.01 × 200";
}

TEST_F(ParamLinesLayerTest, AMissingSizingFieldIsNamed) {
  Write({{{{10, 50}, {90, 50}}}}, {200.0});
  Layer.ParamSizeField = "DIAM";
  try {
    Drawn();
    FAIL();
  } catch (const db::Error& e) {
    EXPECT_TRUE(e.Message.contains("DIAM")) << e.Message.toStdString();
    EXPECT_TRUE(e.Message.contains("pipes.dbf", Qt::CaseInsensitive)) << e.Message.toStdString();
  }
}

TEST_F(ParamLinesLayerTest, TheBlinkUsesAtLeastTwoPixelsAndDiscsOfTwiceTheWidth) {
  // Sized width 2 × 0.01 × 50 = 1, raised to 2: discs of radius 4 at each part's start.
  Write({{{{20, 50}, {90, 50}}, {{20, 20}, {90, 20}}}}, {50.0});
  QImage image(100, 100, QImage::Format_RGB32);
  image.fill(Qt::white);
  const QImage before = image.copy();
  gfx::Canvas c(image);
  int flushes = 0;
  int discTop = -1, discBottom = -1, discLeft = 100, lowerDiscLeft = 100;
  c.OnFlush = [&] {
    if (flushes++ != 0) return;
    for (int y = 0; y < 65; ++y) // the upper part's disc around (20, 50)
      for (int x = 0; x < 100; ++x)
        if (QColor(image.pixel(x, y)) != Qt::white) {
          if (discTop < 0) discTop = y;
          discBottom = y;
          discLeft = std::min(discLeft, x);
        }
    for (int y = 65; y < 100; ++y) // the lower part's disc around (20, 80)
      for (int x = 0; x < 100; ++x)
        if (QColor(image.pixel(x, y)) != Qt::white) lowerDiscLeft = std::min(lowerDiscLeft, x);
  };
  Layer.FlashObject(0, c, World);
  EXPECT_EQ(flushes, 6);
  EXPECT_EQ(c.Pen.Width, 2);
  EXPECT_NEAR(discLeft, 16, 1);
  EXPECT_NEAR(discTop, 46, 1);
  EXPECT_NEAR(discBottom, 54, 1);
  EXPECT_NEAR(lowerDiscLeft, 16, 1) << "every part has its disc";
  EXPECT_EQ(image, before) << "six not-xor passes leave the picture as it was";
  Layer.FlashObject(1, c, World);
  EXPECT_EQ(flushes, 6) << "no such object";
}
