#include "gfx/Canvas.h"
#include "gfx/DrawHelpers.h"
#include "gfx/SymbolFonts.h"

#include <QGuiApplication>
#include <chrono>
#include <gtest/gtest.h>

namespace {

struct GuiEnvironment : ::testing::Environment {
  void SetUp() override {
    static int argc = 1;
    static char name[] = "gfx_tests";
    static char* argv[] = {name, nullptr};
    if (!QGuiApplication::instance()) App = new QGuiApplication(argc, argv);
  }
  void TearDown() override { delete App; }
  QGuiApplication* App = nullptr;
};
const auto* const gui = ::testing::AddGlobalTestEnvironment(new GuiEnvironment);

QImage White(int w, int h) {
  QImage image(w, h, QImage::Format_RGB32);
  image.fill(Qt::white);
  return image;
}

} // namespace

TEST(Canvas, NotXorDrawnTwiceLeavesThePictureAsItWas) {
  QImage image = White(60, 60);
  gfx::Canvas c(image);
  c.Brush.Color = 0x0000FF00;
  c.Rectangle(10, 10, 30, 30);
  const QImage before = image.copy();
  c.Pen.Mode = gfx::PenMode::NotXor;
  c.Pen.Color = 0x000000FF;
  c.Pen.Width = 3;
  c.Brush.Style = 1;
  for (int pass = 0; pass < 2; ++pass)
    c.Ellipse(0, 0, 40, 40);
  EXPECT_EQ(image, before);
  c.Ellipse(0, 0, 40, 40);
  EXPECT_NE(image, before);
}

TEST(Canvas, FiguresStopShortOfTheirRightAndBottomEdges) {
  for (const int penStyle : {0, 5}) {
    QImage image = White(40, 40);
    gfx::Canvas c(image);
    c.Pen.Style = penStyle;
    c.Brush.Color = 0;
    c.Rectangle(10, 10, 20, 20);
    c.Ellipse(20, 20, 30, 30);
    int left = 40, right = -1, top = 40, bottom = -1;
    for (int y = 0; y < 40; ++y)
      for (int x = 0; x < 40; ++x)
        if (c.Pixel(x, y) != 0x00FFFFFFu) {
          left = std::min(left, x), right = std::max(right, x);
          top = std::min(top, y), bottom = std::max(bottom, y);
        }
    EXPECT_EQ(left, 10) << penStyle;
    EXPECT_EQ(top, 10) << penStyle;
    EXPECT_EQ(right, 29) << penStyle;
    EXPECT_EQ(bottom, 29) << penStyle;
    EXPECT_NE(c.Pixel(19, 19), 0x00FFFFFFu);
    EXPECT_EQ(c.Pixel(20, 19), 0x00FFFFFFu) << "the rectangle ends before x = 20";
  }
}

TEST(Canvas, PolygonsFillWithTheBrushAndColoursAreWindowsValues) {
  QImage image = White(40, 40);
  gfx::Canvas c(image);
  c.Brush.Color = 0x00FF0000; // blue in 0x00BBGGRR
  c.Pen.Color = 0x000000FF;   // red
  const QPoint square[] = {{5, 5}, {5, 30}, {30, 30}, {30, 5}};
  c.Polygon(square);
  EXPECT_EQ(c.Pixel(17, 17), 0x00FF0000u);
  EXPECT_EQ(c.Pixel(5, 17), 0x000000FFu);
  EXPECT_EQ(c.Pixel(35, 35), 0x00FFFFFFu);
  c.Brush.Style = 1; // clear: the inside stays
  c.Brush.Color = 0x0000FF00;
  c.Polygon(square);
  EXPECT_EQ(c.Pixel(17, 17), 0x00FF0000u);
  c.Pen.Style = 5; // clear pen, solid brush
  c.Brush.Style = 0;
  c.Polygon(square);
  EXPECT_EQ(c.Pixel(17, 17), 0x0000FF00u);
}

TEST(Canvas, TextAlignmentPutsTheReferencePointWhereAsked) {
  QImage image = White(300, 100);
  gfx::Canvas c(image);
  c.Font.Name = "DejaVu Sans";
  c.Font.Size = 12;
  c.Brush.Style = 1;
  const int w = c.TextWidth("Водогін");
  const int h = c.TextHeight("Водогін");
  EXPECT_GT(w, 30);
  EXPECT_GE(h, 14);
  auto inkColumns = [&](int& first, int& last) {
    first = 1000, last = -1;
    for (int x = 0; x < image.width(); ++x)
      for (int y = 0; y < image.height(); ++y)
        if (QColor(image.pixel(x, y)) != Qt::white) {
          first = std::min(first, x);
          last = std::max(last, x);
        }
  };
  int first, last;
  c.TextHAlign = gfx::HAlign::Right;
  c.TextOut(200, 40, "Водогін");
  inkColumns(first, last);
  EXPECT_NEAR(last, 200, 3);
  image.fill(Qt::white);
  c.TextHAlign = gfx::HAlign::Center;
  c.TextOut(150, 40, "Водогін");
  inkColumns(first, last);
  EXPECT_NEAR((first + last) / 2.0, 150, 3);
  // A solid brush paints the text's box.
  image.fill(Qt::white);
  c.TextHAlign = gfx::HAlign::Left;
  c.Brush.Style = 0;
  c.Brush.Color = 0x0000FFFF;
  c.TextOut(10, 10, "A");
  EXPECT_EQ(c.Pixel(11, 11), 0x0000FFFFu);
}

TEST(Canvas, RotatedTextAndFlag) {
  QImage image = White(200, 200);
  gfx::Canvas c(image);
  c.Font.Name = "DejaVu Sans";
  c.Font.Size = 14;
  c.Brush.Style = 1;
  gfx::TextOutAngle(c, 100, 150, 900, "ВВВВВ"); // reads upwards from (100, 150)
  EXPECT_EQ(c.Font.Escapement, 0) << "the canvas's font is left as it was";
  int top = 1000, bottom = -1, left = 1000, right = -1;
  for (int x = 0; x < 200; ++x)
    for (int y = 0; y < 200; ++y)
      if (QColor(image.pixel(x, y)) != Qt::white) {
        top = std::min(top, y), bottom = std::max(bottom, y);
        left = std::min(left, x), right = std::max(right, x);
      }
  EXPECT_GT(bottom - top, right - left) << "the text runs vertically";
  EXPECT_LE(bottom, 152);
  EXPECT_GE(left, 95);

  image.fill(Qt::white);
  c.Pen.Color = 0x00123456;
  c.Pen.Width = 4;
  gfx::DrawFlag(c, 50, 100, 0x000000FF);
  EXPECT_EQ(c.Pixel(50, 90), 0x00000000u) << "the staff";
  EXPECT_EQ(c.Pixel(55, 15 + 70), 0x000000FFu) << "the flag";
  EXPECT_EQ(c.Pen.Color, 0x00123456u);
  EXPECT_EQ(c.Pen.Width, 4);
}

TEST(Canvas, DelayWaitsAtLeastTheTime) {
  const auto start = std::chrono::steady_clock::now();
  gfx::Delay(30);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(30));
}

TEST(SymbolFonts, KnownCodesOfEachFontHaveTheirUnicodeSigns) {
  EXPECT_EQ(gfx::SymbolFontSign("Wingdings", 0x4A), QString(QChar(0x263A)));
  EXPECT_EQ(gfx::SymbolFontSign("wingdings", 0x6C), QString(QChar(0x25CF))) << "case ignored";
  EXPECT_EQ(gfx::SymbolFontSign("Wingdings 2", 0x52), QString(QChar(0x2611)));
  EXPECT_EQ(gfx::SymbolFontSign("Wingdings 3", 0x6C), QString(QChar(0x2199)));
  const char32_t house = 0x1F3E0;
  EXPECT_EQ(gfx::SymbolFontSign("Webdings", 0x48), QString::fromUcs4(&house, 1));
  EXPECT_EQ(gfx::SymbolFontSign("Symbol", 0x6C), QString(QChar(0x03BB)));
  EXPECT_EQ(gfx::SymbolFontSign("Arial", 0x4A), QString());
  EXPECT_TRUE(gfx::IsKnownSymbolFont("Webdings"));
  EXPECT_FALSE(gfx::IsKnownSymbolFont("DejaVu Sans"));
}

TEST(SymbolFonts, AMissingSymbolFontIsDrawnThroughItsSignsAndAnInstalledFontAsItself) {
  ASSERT_FALSE(gfx::FontInstalled("Wingdings")) << "this test needs a machine without Wingdings";
  ASSERT_TRUE(gfx::FontInstalled("DejaVu Sans"));
  QImage mapped = White(60, 40), sign = White(60, 40);
  {
    gfx::Canvas c(mapped);
    c.Font.Name = "Wingdings";
    c.Font.CharSet = 2;
    c.Font.Size = 16;
    EXPECT_EQ(c.FontText("J"), QString(QChar(0x263A)));
    // A code above 127 comes as the Windows-1251 letter of that byte.
    EXPECT_EQ(c.FontText(QString::fromUtf8("Ш")), gfx::SymbolFontSign("Wingdings", 0xD8));
    c.TextOut(5, 5, "J");
  }
  {
    gfx::Canvas c(sign);
    c.Font.Name = gfx::SymbolSignFamilies().first();
    c.Font.Size = 16;
    c.TextOut(5, 5, QString(QChar(0x263A)));
  }
  EXPECT_EQ(mapped, sign) << "drawn as the sign itself";
  EXPECT_NE(mapped, White(60, 40));
  QImage plain = White(60, 40);
  gfx::Canvas c(plain);
  c.Font.Name = "DejaVu Sans";
  c.Font.CharSet = 2;
  EXPECT_EQ(c.FontText("J"), "J") << "an installed font keeps its own characters";
}

TEST(Canvas, StampedFiguresAndSymbolsAreTheSamePixelsAsDrawnOnes) {
  QImage pictures[2];
  for (const bool stamped : {false, true}) {
    QImage& image = pictures[stamped];
    image = QImage(200, 120, QImage::Format_RGB32);
    image.fill(Qt::white);
    gfx::Canvas c(image);
    c.StampSymbols = stamped;
    int x = 3;
    for (const int size : {1, 2, 5, 6, 9, 14, 30}) {
      for (const int penStyle : {0, 5}) {
        for (const int brushStyle : {0, 1}) {
          c.Pen = {0x000000FF, penStyle, size > 9 ? 3 : 1, gfx::PenMode::Copy};
          c.Brush = {0x0000FF00, brushStyle};
          // The same figure twice (the second from the stamp), and off the picture's edge.
          c.Ellipse(x, 5, x + size, 5 + size);
          c.Ellipse(x, 50, x + size, 50 + size);
          c.Ellipse(-size / 2, 90, size / 2, 90 + size);
          x = (x + size + 3) % 190;
        }
      }
    }
    c.Font.Name = "DejaVu Sans";
    c.Font.Size = 9;
    c.Font.Color = 0x00FF0000;
    c.Brush.Style = 1;
    for (const gfx::HAlign h : {gfx::HAlign::Left, gfx::HAlign::Center, gfx::HAlign::Right}) {
      c.TextHAlign = h;
      c.TextOut(100, 100, "Q");
      c.TextOut(150, 110, "gЙ");
      c.TextOut(-3, 100, "W");
    }
  }
  EXPECT_TRUE(pictures[0] == pictures[1]);
}

// The painter keeps the pen and brush of one style from object to object; whatever else gives
// the painter a pen, a brush or a mode (text, fills, stamps, copies) must not leave the next
// line or figure in it.
TEST(Canvas, APenKeptFromObjectToObjectIsNeverOneThatTextFillsOrCopiesLeft) {
  QImage image = White(120, 80);
  gfx::Canvas c(image);
  c.Pen.Color = 0x000000FF; // red
  const std::vector<QPoint> line = {{5, 5}, {100, 5}};
  c.Polyline(line);
  EXPECT_EQ(c.Pixel(50, 5), 0x000000FFu);
  // Text sets the painter's pen to the font's colour.
  c.Font.Color = 0x00FF0000;
  c.Brush.Style = 1;
  c.TextOut(5, 20, "Text of three words");
  c.Polyline(std::vector<QPoint>{{5, 10}, {100, 10}});
  EXPECT_EQ(c.Pixel(50, 10), 0x000000FFu);
  // A fill takes the pen away; the outline after it has it again.
  c.Brush.Style = 0;
  c.Brush.Color = 0x0000FF00;
  c.FillRect(5, 40, 30, 60);
  c.Rectangle(40, 40, 60, 60);
  EXPECT_EQ(c.Pixel(40, 50), 0x000000FFu);
  EXPECT_EQ(c.Pixel(50, 50), 0x0000FF00u);
  // A copy and a stamped circle set their own modes; a not-xor line after them still inverts.
  c.Pen.Mode = gfx::PenMode::NotXor;
  const std::vector<QPoint> inverted = {{5, 70}, {100, 70}};
  c.Polyline(inverted); // not-xor of red on white: red
  EXPECT_EQ(c.Pixel(50, 70), 0x000000FFu);
  QImage block = White(4, 4);
  c.CopyRect(QRect(70, 40, 4, 4), block, block.rect());
  c.Polyline(inverted);
  EXPECT_EQ(c.Pixel(50, 70), 0x00FFFFFFu);
  c.Pen.Mode = gfx::PenMode::Copy;
  c.Ellipse(80, 40, 90, 50);
  c.Polyline(inverted);
  c.Pen.Mode = gfx::PenMode::NotXor;
  c.Brush.Style = 0;
  c.Ellipse(80, 40, 90, 50); // drawn, not stamped: not-xor
  c.Polyline(inverted);
  EXPECT_EQ(c.Pixel(50, 70), 0x00FFFFFFu);
  // A brush kept across a pen change.
  c.Pen.Mode = gfx::PenMode::Copy;
  c.Pen.Color = 0;
  c.Brush.Color = 0x00FF0000;
  c.Rectangle(95, 40, 115, 60);
  EXPECT_EQ(c.Pixel(105, 50), 0x00FF0000u);
  EXPECT_EQ(c.Pixel(95, 50), 0x00000000u);
}
