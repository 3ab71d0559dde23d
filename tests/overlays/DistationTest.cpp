// Measurements: lengths and areas, the measurement file's exact text, loading good, foreign and
// broken files, finding, flashing and deleting.

#include "overlays/Distation.h"

#include "base/FileError.h"
#include "gfx/Canvas.h"
#include "gfx/DrawHelpers.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

// 100 × 100 world units on a 400 × 400 control: 4 pixels per unit.
TWorld View() {
  TWorld w;
  w.SetView(400, 400, 0, 0, 100, 100);
  return w;
}

void Measure(TDistationLayer& layer, const TWorld& w, uint32_t colour, int16_t kind,
             std::initializer_list<TWorldPoint> points) {
  layer.StartMeasurement(colour, kind);
  for (const TWorldPoint& p : points)
    layer.AddPoint(w, p.X, p.Y);
  layer.FinishMeasurement(w);
}

void WriteFile(const QString& path, const QByteArray& text) {
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write(text);
}

} // namespace

TEST(Measurements, ADistanceSumsItsSegmentsAndAnAreaIsMeasuredWhenFinished) {
  const TWorld w = View();
  TDistationLayer layer;
  EXPECT_EQ(layer.LastSegmentLength(), 0);
  EXPECT_EQ(layer.CurrentValue(), 0);
  layer.StartMeasurement(0x000000FF, 0);
  for (TWorldPoint p : {TWorldPoint{0, 0}, {3, 4}, {3, 10}})
    layer.AddPoint(w, p.X, p.Y);
  EXPECT_EQ(layer.Current->SegmentLengths, (std::vector<double>{5, 6}));
  EXPECT_DOUBLE_EQ(layer.CurrentValue(), 11);
  EXPECT_DOUBLE_EQ(layer.LastSegmentLength(), 6);
  QLocale::setDefault(QLocale::c());
  EXPECT_EQ(TDistationLayer::FormatValue(layer.LastSegmentLength()) + " м",
            QString::fromUtf8("6.00 м"));
  EXPECT_EQ(TDistationLayer::FormatValue(layer.CurrentValue()), "11.00");
  QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedStates));
  EXPECT_EQ(TDistationLayer::FormatValue(1253.918), "1253.92") << "no thousands separator";
  QLocale::setDefault(QLocale(QLocale::Ukrainian, QLocale::Ukraine));
  EXPECT_EQ(TDistationLayer::FormatValue(1253.918), "1253,92") << "the locale's decimal comma";
  QLocale::setDefault(QLocale::c());
  layer.FinishMeasurement(w);
  EXPECT_FALSE(layer.Measuring);
  EXPECT_DOUBLE_EQ(layer.CurrentValue(), 11) << "the finished measurement stays current";

  for (auto ring : {std::vector<TWorldPoint>{{0, 0}, {10, 0}, {10, 10}, {0, 10}},
                    std::vector<TWorldPoint>{{0, 0}, {10, 0}, {10, 10}, {0, 10}, {0, 0}},
                    std::vector<TWorldPoint>{{0, 0}, {0, 10}, {10, 10}, {10, 0}}}) {
    layer.StartMeasurement(0x00008000, 1);
    for (const TWorldPoint& p : ring)
      layer.AddPoint(w, p.X, p.Y);
    EXPECT_EQ(layer.CurrentValue(), 0) << "an area is not known while it is drawn";
    layer.FinishMeasurement(w);
    EXPECT_DOUBLE_EQ(layer.Items.back()->Value, 100);
    EXPECT_TRUE(layer.Items.back()->SegmentLengths.empty());
  }
  // Clearing leaves no dangling current measurement behind.
  layer.Clear();
  EXPECT_EQ(layer.CurrentValue(), 0);
  EXPECT_EQ(layer.LastSegmentLength(), 0);
}

TEST(Measurements, NumbersAndFilesAreWrittenExactly) {
  EXPECT_EQ(TDistationLayer::FormatReal(1234.5), " 1.23450000000000E+0003");
  EXPECT_EQ(TDistationLayer::FormatReal(0), " 0.00000000000000E+0000");
  EXPECT_EQ(TDistationLayer::FormatReal(-0.0015), "-1.50000000000000E-0003");
  EXPECT_EQ(TDistationLayer::FormatReal(9.999999999999999), " 1.00000000000000E+0001");
  EXPECT_EQ(TDistationLayer::FormatReal(5591178.25).size(), 23);

  const TWorld w = View();
  TDistationLayer layer;
  Measure(layer, w, 255, 0, {{1234.5, 0}, {-2, 3}});
  Measure(layer, w, 32768, 1, {{0, 0}});
  EXPECT_EQ(layer.FileText(), QByteArray("*Distations*\r\n2\r\n"
                                         "Distation #0\r\n255\r\n0\r\n2\r\n"
                                         " 1.23450000000000E+0003 0.00000000000000E+0000\r\n"
                                         "-2.00000000000000E+0000 3.00000000000000E+0000\r\n"
                                         "Distation #1\r\n32768\r\n1\r\n1\r\n"
                                         " 0.00000000000000E+0000 0.00000000000000E+0000\r\n"));
}

TEST(Measurements, SavingThenLoadingGivesTheSameMeasurements) {
  QTemporaryDir dir;
  const QString path = dir.filePath("walk.pth");
  const TWorld w = View();
  TDistationLayer saved;
  Measure(saved, w, 0x000000FF, 0, {{0, 0}, {3, 4}, {3, 10}});
  Measure(saved, w, 0x00FF8000, 1, {{10, -5}, {20, -5}, {20, -15.25}});
  Measure(saved, w, 0x00123456, 0, {});
  saved.SaveToFile(path);
  saved.SaveToFile(path); // over an existing file

  TDistationLayer loaded;
  Measure(loaded, w, 1, 0, {{50, 50}, {60, 60}}); // replaced by the file
  loaded.LoadFromFile(path, w);
  ASSERT_EQ(loaded.Items.size(), 3u);
  for (size_t i = 0; i < 3; ++i) {
    const TDistation &a = *saved.Items[i], &b = *loaded.Items[i];
    EXPECT_EQ(b.Kind, a.Kind);
    EXPECT_EQ(b.Color, a.Color);
    ASSERT_EQ(b.Points.size(), a.Points.size());
    for (size_t k = 0; k < a.Points.size(); ++k) {
      EXPECT_DOUBLE_EQ(b.Points[k].X, a.Points[k].X);
      EXPECT_DOUBLE_EQ(b.Points[k].Y, a.Points[k].Y);
    }
    EXPECT_DOUBLE_EQ(b.Value, a.Value);
    EXPECT_EQ(b.SegmentLengths, a.SegmentLengths);
  }
  EXPECT_FALSE(loaded.Measuring);
  QFile f(path);
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  EXPECT_EQ(f.readAll(), saved.FileText());
}

TEST(Measurements, ForeignAndLooselyWrittenFiles) {
  QTemporaryDir dir;
  const TWorld w = View();
  TDistationLayer layer;
  Measure(layer, w, 1, 0, {{0, 0}, {1, 1}});
  WriteFile(dir.filePath("a.pth"), "*distations*\r\n1\r\nDistation #0\r\n1\r\n0\r\n1\r\n1 2\r\n");
  layer.LoadFromFile(dir.filePath("a.pth"), w);
  EXPECT_TRUE(layer.Items.empty()) << "not a measurement file: cleared, nothing loaded";

  // Plain decimals, blanks and line feeds only, trailing text after the point.
  WriteFile(dir.filePath("b.pth"),
            "*Distations*\n1\nDistation #0\n255\n0\n2\n  1.5   -2e1 rest\n+4.5\t2\n");
  layer.LoadFromFile(dir.filePath("b.pth"), w);
  ASSERT_EQ(layer.Items.size(), 1u);
  EXPECT_DOUBLE_EQ(layer.Items[0]->Points[0].Y, -20);
  EXPECT_DOUBLE_EQ(layer.Items[0]->Value, std::hypot(3.0, 22.0));

  WriteFile(dir.filePath("c.pth"), "*Distations*\r\n0\r\n");
  layer.LoadFromFile(dir.filePath("c.pth"), w);
  EXPECT_TRUE(layer.Items.empty());
}

TEST(Measurements, ABrokenFileKeepsWhatWasReadAndNamesTheLine) {
  QTemporaryDir dir;
  const TWorld w = View();
  TDistationLayer layer;
  const QByteArray good = "*Distations*\r\n3\r\nDistation #0\r\n255\r\n0\r\n2\r\n0 0\r\n3 4\r\n";
  struct Case {
    QByteArray Tail;
    const char* Line;
  } cases[] = {
      {"Distation #1\r\n255\r\n1\r\n2\r\n1 x\r\n", "рядок 13"}, // a bad number
      {"Distation #1\r\n25x5\r\n", "рядок 10"},                 // a bad colour
      {"Distation #1\r\n255\r\n0\r\n5\r\n1 1\r\n", "рядок 14"}, // fewer points than counted
      {"", "рядок 9"},                                          // fewer measurements than counted
  };
  for (const Case& c : cases) {
    const QString path = dir.filePath("broken.pth");
    WriteFile(path, good + c.Tail);
    try {
      layer.LoadFromFile(path, w);
      ADD_FAILURE() << "no error for " << c.Tail.constData();
    } catch (const base::FileError& e) {
      EXPECT_EQ(e.Path, path);
      EXPECT_TRUE(e.Reason.startsWith(c.Line)) << e.Reason.toStdString();
    }
    ASSERT_EQ(layer.Items.size(), 1u) << "the first measurement stays loaded";
    EXPECT_DOUBLE_EQ(layer.Items[0]->Value, 5);
    EXPECT_FALSE(layer.Measuring);
  }
  EXPECT_THROW(layer.LoadFromFile(dir.filePath("missing.pth"), w), base::FileError);
}

TEST(Measurements, FindingFlashingAndDeleting) {
  const TWorld w = View();
  TDistationLayer layer;
  Measure(layer, w, 0x000000FF, 0, {{10, 10}, {40, 10}});           // red distance
  Measure(layer, w, 0x00008000, 1, {{50, 50}, {90, 50}, {90, 90}}); // green area
  QImage image(400, 400, QImage::Format_RGB32);
  image.fill(Qt::white);
  gfx::Canvas canvas(image);
  // Each pass's colour, read on the distance's segment and inside the area's hatch.
  std::vector<QRgb> seen;
  QPoint probe;
  gfx::SetDelayHandler([&](int) { seen.push_back(image.pixel(probe)); });

  probe = {w.WorldToScreenX(25), w.WorldToScreenY(10)};
  EXPECT_EQ(layer.FindMeasurement(canvas, w, 25, 10.5, true), 0);
  ASSERT_EQ(seen.size(), 6u);
  EXPECT_EQ(seen[0], qRgb(0, 0, 255)) << "red flashes in blue";
  EXPECT_EQ(seen[1], qRgb(255, 0, 0));
  EXPECT_EQ(seen[5], qRgb(255, 0, 0)) << "and ends in its own colour";
  double x = 0, y = 0;
  layer.GetFoundPoint(x, y);
  EXPECT_DOUBLE_EQ(x, 25);
  EXPECT_DOUBLE_EQ(y, 10);
  EXPECT_EQ(layer.SelectedKind(), 0);

  seen.clear();
  EXPECT_EQ(layer.FindMeasurement(canvas, w, 85, 60, false), 1);
  EXPECT_TRUE(seen.empty());
  layer.GetFoundPoint(x, y);
  EXPECT_DOUBLE_EQ(x, 70);
  EXPECT_DOUBLE_EQ(y, 70);
  EXPECT_EQ(layer.SelectedKind(), 1);
  EXPECT_EQ(layer.FindMeasurement(canvas, w, 55, 85, false), -1) << "inside the box, outside";
  EXPECT_EQ(layer.SelectedIndex, -1);
  EXPECT_EQ(layer.SelectedKind(), -1);

  layer.Delete(5);
  layer.Delete(-1);
  EXPECT_EQ(layer.Items.size(), 2u);
  EXPECT_DOUBLE_EQ(layer.CurrentValue(), 800) << "the area, finished last";
  layer.Delete(1);
  ASSERT_EQ(layer.Items.size(), 1u);
  EXPECT_EQ(layer.Items[0]->Kind, 0);
  EXPECT_EQ(layer.CurrentValue(), 0) << "the current measurement was the deleted one";
  gfx::SetDelayHandler({});
}

TEST(Measurements, DrawingPutsTheLabelAtTheEndAndDrawsOnlyTheCurrentInRed) {
  const TWorld w = View();
  TDistationLayer layer;
  Measure(layer, w, 0x00FF0000, 0, {{10, 50}, {60, 50}});
  layer.StartMeasurement(0x00FF0000, 1);
  layer.AddPoint(w, 10, 80);
  layer.AddPoint(w, 60, 80);
  QImage image(400, 400, QImage::Format_RGB32);
  image.fill(Qt::white);
  {
    gfx::Canvas canvas(image);
    layer.Draw(canvas, w);
    layer.DrawCurrent(canvas, w);
  }
  const int ex = w.WorldToScreenX(60), ey = w.WorldToScreenY(50);
  EXPECT_EQ(image.pixel(w.WorldToScreenX(35), ey), qRgb(0, 0, 255)) << "the blue distance";
  EXPECT_EQ(image.pixel(ex + 3, ey + 3), qRgb(255, 255, 0)) << "the yellow label at the end";
  EXPECT_EQ(image.pixel(ex - 1, ey + 6), qRgb(0, 0, 255))
      << "its frame in the measurement's colour";
  EXPECT_EQ(image.pixel(w.WorldToScreenX(35), w.WorldToScreenY(80)), qRgb(255, 0, 0))
      << "the measurement being drawn is a thin red line";
}
