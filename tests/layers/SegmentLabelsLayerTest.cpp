// Street names along the streets: keys, escapements, the sizes of names too long for their
// segments, the acceptance within and across streets, the choice of segments, and the demo
// atlas drawn at three scales without overlapping labels.

#include "layers/SegmentLabelsLayer.h"
#include "layers/LayerKinds.h"

#include "AtlasWriter.h"

#include "core/MapContent.h"
#include "db/ParadoxFile.h"
#include "db/ParadoxFormat.h"

#include <QGuiApplication>
#include <QTemporaryDir>
#include <algorithm>
#include <gtest/gtest.h>

namespace {

using db::FieldType;
using db::Value;
namespace px = db::paradox;

struct GuiEnvironment : ::testing::Environment {
  void SetUp() override {
    static int argc = 1;
    static char name[] = "layers_tests";
    static char* argv[] = {name, nullptr};
    if (!QGuiApplication::instance()) App = new QGuiApplication(argc, argv);
  }
  void TearDown() override { delete App; }
  QGuiApplication* App = nullptr;
};
const auto* const gui = ::testing::AddGlobalTestEnvironment(new GuiEnvironment);

struct Segment {
  int Street;
  double X, Y, Length, Phi;
  int Begin, End;
};

// A layer over a segments table and a dictionary written for the test; the view is
// (0, 0)–(400, 400) on 400 × 400 pixels (scale 1), cells of 100 from the origin.
class SegmentLabelsTest : public ::testing::Test {
protected:
  void SetUp() override {
    World.SetView(400, 400, 0, 0, 400, 400);
    db::ParadoxFile::Create(Dir.path() + "/StreetDc.db",
                            {px::MakeField("STREETCODE", FieldType::Integer),
                             px::MakeField("STREET", FieldType::String, 40),
                             px::MakeField("TYPE", FieldType::String, 10)},
                            1,
                            {{int64_t(1), QString("Long Street Name"), QString("St.")},
                             {int64_t(2), QString("B"), QString("St.")},
                             {int64_t(3), Value(), QString("St.")}});
    Layer.Visibled = Layer.VisibleLabel = true;
    Layer.TextFont = "DejaVu Sans";
    Layer.TextFontSize = 10;
    Layer.X0 = Layer.Y0 = 0;
    Layer.SetStreetTable(Dir.path() + "/StreetDc.db");
  }
  void Write(const std::vector<Segment>& segments) {
    std::vector<std::vector<Value>> rows = {
        {int64_t(0), Value(), 100.0, 100.0, Value(), Value(), Value(), Value()}};
    std::map<int64_t, int> sequence;
    for (const Segment& s : segments) {
      const auto col = uint8_t(s.X / 100 + 1), row = uint8_t(s.Y / 100 + 1);
      // As a Paradox long integer holds the key: rows from 128 on are negative.
      const int64_t cell =
          TSegmentLabelsLayer::StoredKey(TSegmentLabelsLayer::MakeSegmentKey(col, row, 0));
      rows.push_back({cell + ++sequence[cell], int64_t(s.Street), s.X, s.Y, s.Length, s.Phi,
                      int64_t(s.Begin), int64_t(s.End)});
    }
    db::ParadoxFile::Create(
        Dir.path() + "/Segs.DB",
        {px::MakeField("SHPADDRESS", FieldType::Integer),
         px::MakeField("STREETCODE", FieldType::Integer), px::MakeField("XC", FieldType::Float),
         px::MakeField("YC", FieldType::Float), px::MakeField("LENGTH", FieldType::Float),
         px::MakeField("PHI", FieldType::Float), px::MakeField("NODEBEGIN", FieldType::Integer),
         px::MakeField("NODEEND", FieldType::Integer)},
        1, rows);
    Layer.SegmentsTable.Close();
    Layer.SegmentsTable.SetDatabaseName(Dir.path());
    Layer.SegmentsTable.SetTableName("Segs.DB");
    Layer.SegmentsTable.Open();
  }
  void Draw() {
    Image.fill(Qt::white);
    gfx::Canvas canvas(Image);
    Layer.Draw(canvas, World);
  }
  // A label with the box (x1, y1)–(x2, y2) on the screen.
  static TLabelSegment Box(double x1, double y1, double x2, double y2, int begin = 0, int end = 0,
                           double length = 10) {
    TLabelSegment s;
    s.Corners = {TWorldPoint{x1, y1}, TWorldPoint{x2, y1}, TWorldPoint{x2, y2},
                 TWorldPoint{x1, y2}};
    s.MinX = x1, s.MinY = y1, s.MaxX = x2, s.MaxY = y2;
    s.NodeBegin = int16_t(begin), s.NodeEnd = int16_t(end);
    s.Length = length;
    return s;
  }

  QTemporaryDir Dir;
  TWorld World;
  TSegmentLabelsLayer Layer;
  QImage Image{400, 400, QImage::Format_RGB32};
};

} // namespace

TEST_F(SegmentLabelsTest, KeysPackRowColumnAndSequenceAndEscapementsFollowTheDirection) {
  EXPECT_EQ(TSegmentLabelsLayer::MakeSegmentKey(2, 3, 5), 3u * 16777216 + 2u * 65536 + 5);
  EXPECT_EQ(TSegmentLabelsLayer::MakeSegmentKey(255, 255, 65535), 0xFFFFFFFFu);
  EXPECT_EQ(TSegmentLabelsLayer::Escapement(0), 0);
  EXPECT_EQ(TSegmentLabelsLayer::Escapement(M_PI / 2), 900);
  EXPECT_EQ(TSegmentLabelsLayer::Escapement(-M_PI / 2), 2700);
}

TEST_F(SegmentLabelsTest, ANameWiderThanItsSegmentIsSmallerButNeverBelowSix) {
  // Street 1 on a long horizontal segment, then on a short one and a very short one; street 3
  // has no name and loads nothing.
  Write({{1, 200, 100, 300, 0, 1, 2},
         {1, 200, 300, 110, 0, 7, 8},
         {1, 100, 200, 10, 0, 9, 10},
         {3, 300, 200, 300, 0, 11, 12}});
  Draw();
  ASSERT_EQ(Layer.Labels.size(), 3u) << "the nameless street is not loaded";
  std::map<double, int> sizes;
  for (const auto& l : Layer.Labels)
    sizes[l->Length] = l->FontSize;
  EXPECT_EQ(sizes[300], 10);
  EXPECT_LT(sizes[110], 10);
  EXPECT_GT(sizes[110], 6);
  EXPECT_EQ(sizes[10], 6) << "never below 6 points";
  // Horizontal at PHI 0: the text box is centred on the segment's centre.
  const TLabelSegment* full = nullptr;
  for (const auto& l : Layer.Labels)
    if (l->Length == 300) full = l.get();
  ASSERT_NE(full, nullptr);
  EXPECT_NEAR((full->MinX + full->MaxX) / 2, 200, 1);
  EXPECT_NEAR((full->MinY + full->MaxY) / 2, World.WorldToScreenY(100), 1);
  EXPECT_EQ(full->Text, "St. Long Street Name");
}

TEST_F(SegmentLabelsTest, ShrunkLabelsComeAfterTheFullSizeOnesAndOnlyWhereTheyFit) {
  // Both segments of street 1 at one place: the full-size label is accepted first, the shrunk
  // one overlaps it and is dropped, although it was read first.
  Write({{1, 200, 200, 40, 0, 1, 2}, {1, 200, 200, 400, 0, 3, 4}});
  Draw();
  ASSERT_EQ(Layer.Drawn.size(), 1u);
  EXPECT_EQ(Layer.Drawn[0]->Length, 400);
}

TEST_F(SegmentLabelsTest, AStreetWithOneLabelKeepsItAgainstABusierStreet) {
  // Street 2 has one label crossing street 1's first label; street 1 has two labels.
  Write({{2, 200, 200, 200, M_PI / 2, 5, 6},
         {1, 200, 200, 300, 0, 1, 2},
         {1, 200, 50, 300, 0, 3, 4}});
  Draw();
  std::vector<std::pair<QString, double>> drawn;
  for (const TLabelSegment* l : Layer.Drawn)
    drawn.emplace_back(l->Text, l->Y);
  EXPECT_NE(std::find(drawn.begin(), drawn.end(), std::make_pair(QString("St. B"), 200.0)),
            drawn.end())
      << "the single label stays";
  EXPECT_EQ(std::count_if(drawn.begin(), drawn.end(), [](auto& d) { return d.second == 200.0; }), 1)
      << "street 1's label over it gives way";
  EXPECT_NE(
      std::find(drawn.begin(), drawn.end(), std::make_pair(QString("St. Long Street Name"), 50.0)),
      drawn.end());
}

TEST_F(SegmentLabelsTest, OfTouchingSegmentsOnlyTheLongerFullyVisibleOneIsLabelled) {
  TLabelSegment a = Box(10, 10, 50, 20, 1, 2, 40), b = Box(60, 10, 120, 20, 2, 3, 60),
                c = Box(200, 10, 230, 20, 7, 8, 30);
  std::vector<TLabelSegment*> list{&a, &b, &c};
  TSegmentLabelsLayer::SelectStreetLabels(list, World);
  EXPECT_EQ(list, (std::vector<TLabelSegment*>{&b, &c})) << "a touches b; c touches none";
  // A label leaving the canvas has key 0: it yields to a shorter one it touches.
  TLabelSegment out = Box(-20, 10, 30, 20, 1, 2, 500), in = Box(40, 10, 80, 20, 2, 3, 20);
  std::vector<TLabelSegment*> edge{&out, &in};
  TSegmentLabelsLayer::SelectStreetLabels(edge, World);
  EXPECT_EQ(edge, std::vector<TLabelSegment*>{&in});
}

TEST_F(SegmentLabelsTest, TheQueueQuicksortOrdersEveryPermutation) {
  std::vector<TLabelSegment> boxes;
  for (int k = 0; k < 5; ++k)
    boxes.push_back(Box(10 + 60 * k, 10, 50 + 60 * k, 20, 10 * k, 10 * k + 1, 10.0 + k * 7));
  std::vector<int> order{0, 1, 2, 3, 4};
  do {
    std::vector<TLabelSegment*> list;
    for (int k : order)
      list.push_back(&boxes[size_t(k)]);
    TSegmentLabelsLayer::SelectStreetLabels(list, World);
    ASSERT_EQ(list.size(), 5u);
    for (size_t k = 0; k < 5; ++k)
      ASSERT_EQ(list[k], &boxes[4 - k]) << "longest first";
  } while (std::next_permutation(order.begin(), order.end()));
}

TEST_F(SegmentLabelsTest, CollisionsNeedBoxesThatMeetAndCrossOrContain) {
  const TLabelSegment a = Box(0, 0, 100, 20), crossing = Box(40, -30, 60, 50),
                      inside = Box(10, 5, 30, 15), apart = Box(200, 0, 300, 20),
                      touching = Box(100, 0, 200, 20);
  std::vector<TLabelSegment*> placed{const_cast<TLabelSegment*>(&a)};
  EXPECT_TRUE(TSegmentLabelsLayer::LabelCollides(crossing, placed));
  EXPECT_TRUE(TSegmentLabelsLayer::LabelCollides(inside, placed));
  EXPECT_FALSE(TSegmentLabelsLayer::LabelCollides(apart, placed));
  EXPECT_TRUE(TSegmentLabelsLayer::LabelCollides(touching, placed)) << "a shared edge counts";
}

TEST(SegmentLabelsOnTheDemo, NoTwoDrawnLabelsOverlapAtThreeScales) {
  QTemporaryDir dir;
  demo::WriteAtlas(dir.path(), 1, 2);
  RegisterLayerKinds();
  TMapContent map;
  ASSERT_TRUE(
      map.LoadMap(dir.path() + "/BASE", dir.path() + "/MAPS", dir.path(), "", "").isEmpty());
  TSegmentLabelsLayer* names = nullptr;
  for (const auto& l : map.Layers)
    if (auto* s = dynamic_cast<TSegmentLabelsLayer*>(l.get())) names = s;
  ASSERT_NE(names, nullptr);
  const TExtent full = map.World.FullExtent;
  const double cx = (full.XMin + full.XMax) / 2, cy = (full.YMin + full.YMax) / 2;
  for (const double scale : {0.7, 1.5, 4.0}) {
    QImage image(1000, 800, QImage::Format_RGB32);
    image.fill(Qt::white);
    map.World.SetView(1000, 800, cx - 500 / scale, cy - 400 / scale, cx + 500 / scale,
                      cy + 400 / scale);
    gfx::Canvas canvas(image);
    names->Draw(canvas, map.World);
    ASSERT_GE(names->Drawn.size(), scale < 1 ? 10u : 2u) << scale;
    int overlaps = 0;
    for (size_t i = 0; i < names->Drawn.size(); ++i)
      overlaps += TSegmentLabelsLayer::LabelCollides(
          *names->Drawn[i],
          std::vector<TLabelSegment*>(names->Drawn.begin(), names->Drawn.begin() + long(i)));
    EXPECT_EQ(overlaps, 0) << "at scale " << scale;
  }
}

// Rows 128 to 255 are stored below zero, before rows 1 to 127: a view of rows from 128, and a view
// across row 128, find their segments.
TEST_F(SegmentLabelsTest, SegmentsOfRowsFrom128AreFoundWhereTheLongIntegerKeepsThem) {
  Write({{1, 50, 12650, 80, 0, 1, 2},  // row 127
         {2, 150, 12750, 80, 0, 3, 4}, // row 128
         {1, 250, 19950, 80, 0, 5, 6}, // row 200
         {2, 350, 350, 80, 0, 7, 8}}); // row 4
  auto loaded = [&](double y0, double y1) {
    World.SetView(400, 400, 0, y0, 400, y1);
    Layer.LoadVisibleSegments(World);
    std::vector<double> ys;
    for (const auto& l : Layer.Labels)
      ys.push_back(l->Y);
    std::sort(ys.begin(), ys.end());
    return ys;
  };
  EXPECT_EQ(loaded(12600, 13000), (std::vector<double>{12650, 12750}));
  EXPECT_EQ(loaded(19800, 20200), (std::vector<double>{19950}));
  EXPECT_EQ(loaded(0, 400), (std::vector<double>{350}));
  EXPECT_EQ(Layer.CellWidth, 100.0) << "the header is the record of key 0, not the first";
}
