// Point, address and polygon layers on geometry written for each test, checked on rendered
// pictures: symbols, circles, labels and their anchors, fills, shadows, holes and edges.

#include "layers/DBPointsLayer.h"
#include "layers/LayerKinds.h"
#include "layers/LinesLayer.h"
#include "layers/ParamDBPointsLayer.h"
#include "layers/PointFile.h"
#include "layers/PointsLayer.h"
#include "layers/PolygonsLayer.h"
#include "layers/RecordIndex.h"

#include "AtlasWriter.h"
#include "ShapeWriter.h"

#include "base/DerivedCache.h"
#include "base/FileError.h"
#include "core/Identify.h"
#include "core/MapContent.h"
#include "db/DbaseFile.h"

#include <QFile>
#include <QTemporaryDir>
#include <algorithm>
#include <array>
#include <gtest/gtest.h>
#include <map>

namespace {

using demo::Ring;

struct Ink {
  int Left = 1 << 30, Top = 1 << 30, Right = -1, Bottom = -1, Count = 0;
};

Ink InkOf(const QImage& image, QColor colour = QColor()) {
  Ink ink;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) {
      const QColor c(image.pixel(x, y));
      if (colour.isValid() ? c != colour : c == Qt::white) continue;
      ink.Left = std::min(ink.Left, x), ink.Right = std::max(ink.Right, x);
      ink.Top = std::min(ink.Top, y), ink.Bottom = std::max(ink.Bottom, y);
      ++ink.Count;
    }
  return ink;
}

class LayerFixture : public ::testing::Test {
protected:
  void SetUp() override { World.SetView(200, 200, 0, 0, 200, 200); } // scale 1, y flipped
  QImage Blank(int w = 200, int h = 200) {
    QImage image(w, h, QImage::Format_RGB32);
    image.fill(Qt::white);
    return image;
  }
  // Writes labels "A", "B", ... as the attribute table of `geometry`.
  void WriteLabels(const QString& geometry, int count) {
    std::vector<std::vector<db::Value>> rows;
    for (int i = 0; i < count; ++i)
      rows.push_back({i < 26 ? QString(QChar('A' + i)) + "W" : QString("P%1").arg(i)});
    db::DbaseFile::Create(geometry.left(geometry.size() - 4) + ".dbf",
                          {db::MakeDbaseField("NAME", db::FieldType::String, 10)}, rows);
  }
  QTemporaryDir Dir;
  TWorld World;
};

class PointsTest : public LayerFixture {
protected:
  void Write(const std::vector<demo::Point>& points) {
    demo::ShapeWriter w(demo::ShapeType::Point);
    for (const auto& p : points)
      w.AddPoint(p);
    w.Save(Path());
    WriteLabels(Path(), int(points.size()));
    Layer.FullPath = Path();
    Layer.AttrTable.Close();
    Layer.AttrTable.SetDatabaseName(Dir.path());
    Layer.AttrTable.SetTableName("points.dbf");
    Layer.AttrTable.Open();
    Layer.Visibled = Layer.Selected = true;
    Layer.CharFontSize = 10;
    Layer.TextFont = "DejaVu Sans";
    Layer.TextFontSize = 12;
    Layer.TextColor = 0x000000FF;
    Layer.TextFieldLabel = "NAME";
  }
  QString Path() const { return Dir.path() + "/points.mds"; }
  TPointsLayer Layer;
};

} // namespace

TEST_F(PointsTest, LabelsAnchorOnThePointAsTheirPositionSays) {
  Write({{100, 100}});
  Layer.VisibleLabel = true;
  Layer.CharFontSize = 0; // no visible symbol: only the label inks
  Layer.XLabel = 0;
  Layer.YLabel = 0;
  QImage centred = Blank();
  {
    gfx::Canvas c(centred);
    c.Pen.Style = 5;
    Layer.Draw(c, World);
  }
  const Ink a = InkOf(centred, QColor(255, 0, 0));
  ASSERT_GT(a.Count, 0);
  EXPECT_NEAR((a.Left + a.Right) / 2.0, 100, 3);
  EXPECT_NEAR((a.Top + a.Bottom) / 2.0, 100, 4);
  Layer.XLabel = 1;
  Layer.YLabel = 1;
  QImage topLeft = Blank();
  {
    gfx::Canvas c(topLeft);
    c.Pen.Style = 5;
    Layer.Draw(c, World);
  }
  const Ink b = InkOf(topLeft, QColor(255, 0, 0));
  EXPECT_NEAR(b.Left, 100, 3);
  EXPECT_GE(b.Top, 100);
  EXPECT_LE(b.Top, 106);
  Layer.XLabel = -1;
  Layer.YLabel = -1;
  QImage bottomRight = Blank();
  {
    gfx::Canvas c(bottomRight);
    c.Pen.Style = 5;
    Layer.Draw(c, World);
  }
  const Ink d = InkOf(bottomRight, QColor(255, 0, 0));
  EXPECT_NEAR(d.Right, 100, 3);
  EXPECT_LE(d.Bottom, 100);
  EXPECT_GE(d.Bottom, 94);
}

TEST_F(PointsTest, AnAnchorOutsideItsRangeKeepsTheAlignmentForEveryLabel) {
  Write({{60, 150}, {140, 50}});
  Layer.VisibleLabel = true;
  Layer.CharFontSize = 0; // circles of no size: only the labels ink
  Layer.XLabel = 5;
  Layer.YLabel = 1;
  QImage image = Blank();
  {
    gfx::Canvas c(image);
    c.Pen.Style = 5;
    c.TextHAlign = gfx::HAlign::Right;
    Layer.Draw(c, World);
    EXPECT_EQ(c.TextHAlign, gfx::HAlign::Right);
  }
  // Both labels end at their points (screen x 60 and 140).
  const Ink first = InkOf(image.copy(0, 0, 200, 100), QColor(255, 0, 0));
  const Ink second = InkOf(image.copy(0, 100, 200, 100), QColor(255, 0, 0));
  ASSERT_GT(first.Count, 0);
  ASSERT_GT(second.Count, 0);
  EXPECT_NEAR(first.Right, 60, 3);
  EXPECT_NEAR(second.Right, 140, 3);
}

TEST_F(PointsTest, LabelSizeIsAtLeastOnePoint) {
  Write({{50, 50}});
  Layer.TextFontSize = 0.3;
  EXPECT_EQ(Layer.LabelFontSize(World), 1);
  Layer.TextLabelScale = true;
  Layer.TextFontSize = 4;
  World.Scale = 2.5;
  EXPECT_EQ(Layer.LabelFontSize(World), 10);
}

TEST_F(PointsTest, CirclesWithoutASymbolAndSymbolsWithOne) {
  Write({{100, 100}});
  QImage image = Blank();
  {
    gfx::Canvas c(image);
    c.Pen.Color = 0x00FF0000;
    c.Brush.Style = 1;
    Layer.Draw(c, World);
  }
  const Ink circle = InkOf(image, QColor(0, 0, 255));
  EXPECT_NEAR(circle.Right - circle.Left, 10, 2) << "a circle of about CharFontSize pixels";
  EXPECT_NEAR((circle.Left + circle.Right) / 2.0, 100, 1);
  Layer.CharLabel = "X";
  Layer.CharFont = "DejaVu Sans";
  Layer.CharFontColor = 0x0000FF00;
  Layer.CharFontSize = 14;
  QImage symbol = Blank();
  {
    gfx::Canvas c(symbol);
    Layer.Draw(c, World);
  }
  const Ink s = InkOf(symbol, QColor(0, 255, 0));
  ASSERT_GT(s.Count, 0);
  EXPECT_NEAR((s.Left + s.Right) / 2.0, 100, 6) << "drawn about the point";
}

TEST_F(PointsTest, PickingLocatingAndTheNearestPoint) {
  Write({{100, 105}, {100, 95}, {150, 150}});
  QImage image = Blank();
  gfx::Canvas c(image);
  EXPECT_EQ(Layer.FindObject(c, World, 100, 100, false, false), 0)
      << "two at one distance: the earlier";
  EXPECT_EQ(Layer.FoundY, 105);
  EXPECT_EQ(Layer.FindObject(c, World, 130, 130, false, false), -1) << "outside the 10-pixel box";
  int extra = 7;
  EXPECT_EQ(Layer.FindNearestObject(World, {}, 130, 130, extra), 2);
  EXPECT_EQ(extra, 0);
  EXPECT_FALSE(Layer.LocateObject(3, World)) << "an index equal to the record count";
  EXPECT_TRUE(Layer.LocateObject(2, World));
  double x = -1, y = -1;
  Layer.GetObjectPoint(5, x, y);
  EXPECT_EQ(x, -1);
  Layer.GetObjectPoint(1, x, y);
  EXPECT_EQ(y, 95);
  Layer.Visibled = false;
  EXPECT_EQ(Layer.FindObject(c, World, 100, 100, true, false), -1);
}

TEST_F(PointsTest, StyleFilesByRenderType) {
  Write({{100, 100}});
  Layer.RenderType = 3;
  EXPECT_TRUE(Layer.StyleFilePath().endsWith("/points.t3"));
  Layer.RenderType = -1;
  EXPECT_TRUE(Layer.StyleFilePath().endsWith("/points.r"));
  QImage image = Blank();
  gfx::Canvas c(image);
  EXPECT_THROW(Layer.Draw(c, World), base::FileError);
  QByteArray styles;
  demo::AppendPointStyle(styles, 'Z', 0x00FF00FF, 16, "DejaVu Sans");
  QFile f(Dir.path() + "/points.r");
  ASSERT_TRUE(f.open(QIODevice::WriteOnly));
  f.write(styles);
  f.close();
  Layer.Draw(c, World);
  EXPECT_GT(InkOf(image, QColor(255, 0, 255)).Count, 10) << "the style record's colour";
  Layer.RenderType = -5; // no style file for such values: the layer's own symbol
  EXPECT_NO_THROW(Layer.Draw(c, World));
}

namespace {

class PolygonsTest : public LayerFixture {
protected:
  void Write(const std::vector<std::vector<Ring>>& objects) {
    demo::ShapeWriter w(demo::ShapeType::Polygon);
    for (const auto& o : objects)
      w.AddShape(o);
    w.Save(Dir.path() + "/areas.mds");
    Layer.FullPath = Dir.path() + "/areas.mds";
    Layer.Visibled = Layer.Selected = true;
    Layer.BrushColor = 0x0000FF00;
    Layer.PenColor = 0x00FF0000;
    Layer.PenWidth = 1;
  }
  static Ring Square(double x0, double y0, double x1, double y1) {
    return {{x0, y0}, {x0, y1}, {x1, y1}, {x1, y0}, {x0, y0}};
  }
  TPolygonsLayer Layer;
};

} // namespace

TEST_F(PolygonsTest, FillsHolesClicksAndEdges) {
  Write({{Square(20, 20, 120, 120), Square(50, 50, 80, 80)}, {Square(100, 100, 180, 180)}});
  QImage image = Blank();
  gfx::Canvas c(image);
  Layer.Draw(c, World);
  EXPECT_EQ(QColor(image.pixel(30, 200 - 30)), QColor(0, 255, 0)) << "the fill";
  EXPECT_EQ(QColor(image.pixel(65, 200 - 65)), QColor(0, 255, 0)) << "the hole is filled too";
  EXPECT_EQ(Layer.FindObject(c, World, 65, 65, false, false), 0) << "a click in the hole";
  EXPECT_EQ(Layer.FoundX, 70);
  EXPECT_EQ(Layer.FindObject(c, World, 20, 60, false, false), 0) << "a click on the edge";
  EXPECT_EQ(Layer.FindObject(c, World, 110, 110, false, false), 0) << "overlapping: the earlier";
  EXPECT_EQ(Layer.FindObject(c, World, 150, 150, false, false), 1);
  EXPECT_EQ(Layer.FindObject(c, World, 190, 10, false, false), -1);
}

TEST_F(PolygonsTest, ShadowsAreDrawnDownAndRightBeforeTheFill) {
  Write({{Square(50, 50, 100, 100)}});
  Layer.Shadow = 3;
  Layer.PenColor = 0x00000000;
  QImage image = Blank();
  gfx::Canvas c(image);
  Layer.Draw(c, World);
  const int right = 100; // the outline's right edge: world x 100 at scale 1
  for (int s = 1; s <= 3; ++s)
    EXPECT_EQ(QColor(image.pixel(right + s, 150 - 20)), QColor(Qt::black)) << "offset " << s;
  EXPECT_EQ(QColor(image.pixel(right + 4, 150 - 20)), QColor(Qt::white));
  EXPECT_EQ(QColor(image.pixel(75, 125)), QColor(0, 255, 0)) << "the fill covers the shadow inside";
}

TEST_F(PolygonsTest, TheViewIsWidenedByTenMapUnits) {
  Write({{Square(205, 50, 208, 60)}, {Square(215, 50, 218, 60)}});
  QImage wide = Blank(240, 200); // wider than the view, so what is drawn beyond it shows
  gfx::Canvas c(wide);
  Layer.Draw(c, World);
  EXPECT_EQ(QColor(wide.pixel(206, 200 - 55)), QColor(0, 255, 0)) << "5 units outside: drawn";
  EXPECT_EQ(QColor(wide.pixel(216, 200 - 55)), QColor(Qt::white)) << "15 units outside: not drawn";
  int flushes = 0;
  c.OnFlush = [&] { ++flushes; };
  Layer.FlashObject(0, c, World);
  EXPECT_EQ(flushes, 6);
  Layer.FlashObject(1, c, World);
  EXPECT_EQ(flushes, 6);
}

TEST_F(PolygonsTest, LocateDoublesTheBoxOfAFarObject) {
  Write({{Square(1000, 1000, 1100, 1040)}, {Square(90, 90, 110, 110)}});
  EXPECT_TRUE(Layer.LocateObject(0, World));
  EXPECT_EQ(World.ViewExtent.XMin, 950);
  EXPECT_EQ(World.ViewExtent.XMax, 1150);
  EXPECT_EQ(World.ViewExtent.YMin, 980);
  EXPECT_EQ(World.ViewExtent.YMax, 1060);
  World.SetView(200, 200, 0, 0, 200, 200);
  EXPECT_TRUE(Layer.LocateObject(1, World));
  EXPECT_EQ(World.ViewExtent.XMin, World.VisibleExtent.XMin) << "well inside: unchanged";
  EXPECT_FALSE(Layer.LocateObject(2, World));
}

TEST(LayerKinds, TheDemoAtlasLoadsEveryKindAsItsOwnClass) {
  QTemporaryDir dir;
  demo::WriteAtlas(dir.path(), 1, 4);
  RegisterLayerKinds();
  TMapContent map;
  ASSERT_TRUE(
      map.LoadMap(dir.path() + "/BASE", dir.path() + "/MAPS", dir.path(), "", "").isEmpty());
  ASSERT_NE(map.AddressLayer, nullptr);
  EXPECT_EQ(map.AddressLayer->PrimitiveType, 7);
  EXPECT_NE(dynamic_cast<TAddressLayer*>(map.AddressLayer), nullptr);
  std::map<int, int> kinds;
  for (const auto& l : map.Layers)
    ++kinds[l->PrimitiveType];
  EXPECT_EQ(kinds[5], 3);
  EXPECT_EQ(kinds[1], 2);
  EXPECT_EQ(kinds[101], 3) << "the wells and the hydrants";
  EXPECT_EQ(kinds[102], 1) << "the pumping stations";
  EXPECT_EQ(kinds[103], 1) << "the water pipes";
  EXPECT_EQ(kinds[23], 1) << "the street names";
  for (const auto& l : map.Layers) {
    if (l->PrimitiveType == 102) {
      EXPECT_NE(dynamic_cast<TParamDBPointsLayer*>(l.get()), nullptr) << "sized by a parameter";
    }
  }
}

TEST(LayerKinds, LoadingReadsTheHeadersOfTheTablesAndNoRow) {
  QTemporaryDir dir;
  demo::WriteAtlas(dir.path(), 1, 4);
  RegisterLayerKinds();
  {
    TMapContent map;
    ASSERT_TRUE(
        map.LoadMap(dir.path() + "/BASE", dir.path() + "/MAPS", dir.path(), "", "").isEmpty());
    TDBPointsLayer* hydrants = nullptr;
    for (const auto& l : map.Layers) {
      auto* objects = dynamic_cast<TDBPointsLayer*>(l.get());
      EXPECT_FALSE(objects ? objects->ObjectsTable.Active() : l->AttrTable.Active())
          << l->ClassName.toStdString();
      if (objects && l->FileName.startsWith("Hydrants", Qt::CaseInsensitive)) hydrants = objects;
    }
    ASSERT_NE(hydrants, nullptr);
    EXPECT_GT(hydrants->Objects().RecordCount(), 0);
    EXPECT_TRUE(hydrants->ObjectsTable.Active()) << "open from its first use on";
  }
  // A table that is missing still stops its layer when the map loads, naming it.
  ASSERT_TRUE(QFile::remove(dir.path() + "/MAPS/Hydrants.db"));
  TMapContent map;
  const QString errors =
      map.LoadMap(dir.path() + "/BASE", dir.path() + "/MAPS", dir.path(), "", "");
  EXPECT_TRUE(errors.contains("Hydrants.db", Qt::CaseInsensitive)) << errors.toStdString();
}

// The demo atlas loaded as the program loads it, drawn at 800 × 600 into a white picture.
struct DemoMap {
  QTemporaryDir Dir;
  TMapContent Map;
  TExtent Full;
  DemoMap() {
    demo::WriteAtlas(Dir.path(), 1, 4);
    RegisterLayerKinds();
    const QString failure =
        Map.LoadMap(Dir.path() + "/BASE", Dir.path() + "/MAPS", Dir.path(), "", "");
    EXPECT_TRUE(failure.isEmpty()) << failure.toStdString();
    Full = Map.World.FullExtent;
  }
  double CentreX() const { return (Full.XMin + Full.XMax) / 2; }
  double CentreY() const { return (Full.YMin + Full.YMax) / 2; }
  // The view of `fraction` of the map's width and height about (cx, cy); `stamped` as the
  // canvas's StampSymbols.
  QImage Draw(double fraction, double cx, double cy, bool stamped = true) {
    return Draw(Map, fraction, cx, cy, stamped);
  }
  // The same view of another map over the same files.
  QImage Draw(TMapContent& map, double fraction, double cx, double cy, bool stamped = true) {
    const double w = (Full.XMax - Full.XMin) * fraction, h = (Full.YMax - Full.YMin) * fraction;
    QImage image(800, 600, QImage::Format_RGB32);
    image.fill(Qt::white);
    gfx::Canvas canvas(image);
    canvas.StampSymbols = stamped;
    map.World.SetView(800, 600, cx - w / 2, cy - h / 2, cx + w / 2, cy + h / 2);
    map.World.ComputeScale(canvas.WidthMM());
    map.DrawLayers(canvas, [](int, const QString& reason) { FAIL() << reason.toStdString(); });
    return image;
  }
};

TEST(LayerKinds, StampedSymbolsGiveTheSamePictureAsTextDrawnEachTime) {
  DemoMap demo;
  int symbolsSeen = 0;
  for (const double fraction : {1.0, 0.25, 1.0 / 16}) {
    const QImage drawn = demo.Draw(fraction, demo.CentreX(), demo.CentreY(), false);
    const QImage stamped = demo.Draw(fraction, demo.CentreX(), demo.CentreY(), true);
    EXPECT_TRUE(drawn == stamped) << "view " << fraction;
    // The views hold symbols to stamp: pixels of the wells' blue.
    for (int y = 0; y < 600; ++y)
      for (int x = 0; x < 800; ++x)
        symbolsSeen += stamped.pixel(x, y) == qRgb(0, 0, 255);
  }
  EXPECT_GT(symbolsSeen, 0);
}

TEST(LayerKinds, TheRecordIndexChangesNeitherPicturesNorPicks) {
  DemoMap demo;
  TMapContent& map = demo.Map;
  QImage scratch(800, 600, QImage::Format_RGB32);
  for (const double fraction : {1.0, 0.25, 1.0 / 16}) {
    QImage pictures[2];
    std::vector<int> picks[2];
    for (const bool grid : {false, true}) {
      TRecordIndex::UseGrid = grid;
      pictures[grid] = demo.Draw(fraction, demo.CentreX(), demo.CentreY());
      // Picks on a grid of points of the view, on every layer (pipes and streets cross and
      // overlap there, address points crowd): the first object in file order, or the nearest
      // point, must win either way.
      gfx::Canvas pickCanvas(scratch);
      for (const auto& layer : map.Layers) {
        for (int py = 3; py < 600; py += 31)
          for (int px = 3; px < 800; px += 31)
            picks[grid].push_back(layer->FindObject(pickCanvas, map.World,
                                                    map.World.ScreenToWorldX(px),
                                                    map.World.ScreenToWorldY(py), true, false));
      }
    }
    TRecordIndex::UseGrid = true;
    EXPECT_TRUE(pictures[0] == pictures[1]) << "view " << fraction;
    EXPECT_EQ(picks[0], picks[1]) << "view " << fraction;
    EXPECT_GT(std::count_if(picks[1].begin(), picks[1].end(), [](int i) { return i >= 0; }), 10);
  }
}

// What is kept between runs (the geometry files' record indexes, the points tables' rows with
// their grid) gives the pictures and picks of a fresh walk, and is not used once the file changed.
TEST(LayerKinds, KeptIndexesAndRowsGiveThePicturesAndPicksOfAFreshWalk) {
  DemoMap demo;
  QTemporaryDir cache;
  const QByteArray previous = qgetenv("VANDREL_CACHE_DIR");
  const int64_t settled = base::DerivedCache::SettledMilliseconds();
  base::DerivedCache::SetSettledMilliseconds(0);
  const QString maps = demo.Dir.path() + "/MAPS";
  for (const QString name : {"Buildings.mds", "Water.mds", "address.mds"}) {
    qputenv("VANDREL_CACHE_DIR", QFile::encodeName(cache.path()));
    const auto walked = TRecordIndex::Walk(maps + "/" + name);
    const auto kept = TRecordIndex::Walk(maps + "/" + name);
    EXPECT_FALSE(walked->TakenFromKept());
    ASSERT_TRUE(kept->TakenFromKept()) << name.toStdString();
    ASSERT_EQ(kept->Records.size(), walked->Records.size());
    EXPECT_EQ(
        std::memcmp(kept->Records.data(), walked->Records.data(), walked->Records.size_bytes()), 0);
    for (const double fraction : {1.0, 0.1, 0.01}) {
      const double w = (demo.Full.XMax - demo.Full.XMin) * fraction / 2;
      const double h = (demo.Full.YMax - demo.Full.YMin) * fraction / 2;
      EXPECT_EQ(kept->Candidates(demo.CentreX() - w, demo.CentreY() - h, demo.CentreX() + w,
                                 demo.CentreY() + h),
                walked->Candidates(demo.CentreX() - w, demo.CentreY() - h, demo.CentreX() + w,
                                   demo.CentreY() + h));
    }
  }
  // The points tables' rows: read, kept, then taken from what was kept.
  // Which points layers (by category and class) took their rows from what was kept.
  using FromKept = std::map<std::pair<int, int>, bool>;
  const auto anyKept = [](const FromKept& f) {
    return std::any_of(f.begin(), f.end(), [](const auto& k) { return k.second; });
  };
  const auto allKept = [](const FromKept& f) {
    return !f.empty() && std::all_of(f.begin(), f.end(), [](const auto& k) { return k.second; });
  };
  const auto drawAndPick = [&](FromKept& fromKept) {
    TMapContent again; // another map over the same files
    again.LoadMap(demo.Dir.path() + "/BASE", maps, demo.Dir.path(), "", "");
    const QImage picture = demo.Draw(again, 1.0 / 16, demo.CentreX(), demo.CentreY());
    QImage scratch(800, 600, QImage::Format_RGB32);
    gfx::Canvas canvas(scratch);
    std::vector<int> picks;
    fromKept.clear();
    for (const auto& layer : again.Layers)
      if (auto* points = dynamic_cast<TDBPointsLayer*>(layer.get())) {
        // A fine grid: a symbol's pick box is its sign's measured size, which follows the fonts
        // the machine has (with Chromium's Liberation fonts installed, a coarser one hit 3).
        for (int py = 3; py < 600; py += 9)
          for (int px = 3; px < 800; px += 9)
            picks.push_back(points->FindObject(canvas, again.World, again.World.ScreenToWorldX(px),
                                               again.World.ScreenToWorldY(py), true, false));
        fromKept[{points->Category, points->Class}] = points->RowsTakenFromKept();
      }
    return std::make_pair(picture, picks);
  };
  FromKept fromKept;
  qputenv("VANDREL_CACHE_DIR", "off");
  const auto fresh = drawAndPick(fromKept);
  qputenv("VANDREL_CACHE_DIR", QFile::encodeName(cache.path()));
  drawAndPick(fromKept);
  EXPECT_FALSE(anyKept(fromKept));
  const auto kept = drawAndPick(fromKept);
  EXPECT_TRUE(allKept(fromKept));
  EXPECT_TRUE(kept.first == fresh.first);
  EXPECT_EQ(kept.second, fresh.second);
  EXPECT_GT(std::count_if(fresh.second.begin(), fresh.second.end(), [](int i) { return i >= 0; }),
            3);
  // A well's logo changed: its table is read again.
  for (const auto& layer : demo.Map.Layers)
    if (auto* points = dynamic_cast<TDBPointsLayer*>(layer.get()); points && points->Class == 1) {
      const int code = points->GetObjectCode(0);
      points->SetObjectImage(code, 5);
    }
  drawAndPick(fromKept);
  EXPECT_FALSE(fromKept.at({100, 1})) << "the table changed";
  EXPECT_TRUE(fromKept.at({100, 2})) << "the sewer wells' table stayed as it was";
  qputenv("VANDREL_CACHE_DIR", previous);
  base::DerivedCache::SetSettledMilliseconds(settled);
}

// What lies under the pointer: a well on its pipe gives the well first (it is nearest), then
// the pipe, each with its row's fields; a point off every object gives nothing, said in words.
TEST(LayerKinds, IdentifyListsTheWellAndItsPipeWithTheirRows) {
  DemoMap demo;
  db::Table wells(demo.Dir.path() + "/MAPS", "WaterWells.db");
  wells.Open();
  wells.MoveBy(5);
  const double x = wells.FieldByName("X").AsFloat(), y = wells.FieldByName("Y").AsFloat();
  const int64_t code = wells.FieldByName("ObjectCode").AsInteger();
  QImage picture(800, 600, QImage::Format_RGB32);
  gfx::Canvas canvas(picture);
  TWorld& world = demo.Map.World;
  world.SetView(800, 600, x - 40, y - 30, x + 40, y + 30); // 1 : 380 or so
  world.ComputeScale(canvas.WidthMM());
  // Off to one side by a pixel: the well is still the nearest.
  const auto found = ObjectsAt(demo.Map.Layers, canvas, world, x + 0.1, y);
  ASSERT_GE(found.size(), 2u);
  EXPECT_EQ(QFileInfo(found[0].Layer->FileName).fileName(), "WaterWells.db");
  EXPECT_EQ(found[0].ObjectCode, code);
  EXPECT_NEAR(found[0].Distance, 0.1, 1e-6);
  const auto field = [](const TIdentifiedObject& o, const QString& name) {
    for (const TIdentifiedField& f : o.Fields)
      if (f.Name == name) return f.Value;
    return QString("(none)");
  };
  EXPECT_EQ(field(found[0], "ObjectCode"), QString::number(code));
  EXPECT_NE(field(found[0], "NAME"), "(none)");
  const auto pipe = std::find_if(found.begin(), found.end(), [](const TIdentifiedObject& o) {
    return QFileInfo(o.Layer->FileName).fileName() == "Water.mds";
  });
  ASSERT_NE(pipe, found.end()) << IdentifiedText(found).join("\n").toStdString();
  EXPECT_LT(pipe->Distance, 5 / world.Scale) << "within the pick's few pixels of the pipe";
  EXPECT_NE(field(*pipe, "HUB1CODE"), "(none)") << "the pipe's attribute row is read";
  const QStringList text = IdentifiedText(found);
  EXPECT_TRUE(text[0].contains(QString::fromUtf8("об'єкт %1").arg(code))) << text[0].toStdString();
  EXPECT_TRUE(text.contains("  ObjectCode=" + QString::number(code)));

  const double far = demo.Full.XMax + 10000;
  world.SetView(800, 600, far - 40, y - 30, far + 40, y + 30);
  EXPECT_TRUE(ObjectsAt(demo.Map.Layers, canvas, world, far, y).empty());
  EXPECT_EQ(IdentifiedText({}), QStringList{QString::fromUtf8("Нічого не знайдено")});
}

// Layers drawn in runs of objects by several threads, the runs laid over each other and the
// canvas state passed on from the run that drew a layer's last object: the picture must be the
// one a single thread draws walking every record of every file.
TEST(LayerKinds, RunsOnSeveralThreadsGiveThePictureOfOneThreadWalkingEveryRecord) {
  DemoMap demo;
  const auto draw = [&](double fraction, double cx, double cy, int threads, bool grid) {
    TRecordIndex::UseGrid = grid;
    demo.Map.Threads = threads;
    TCustomLayer::ShareableObjects = 1; // every layer that can be shared is
    const QImage image = demo.Draw(fraction, cx, cy);
    TRecordIndex::UseGrid = true;
    demo.Map.Threads = 0;
    TCustomLayer::ShareableObjects = 4000;
    return image;
  };
  const TExtent& full = demo.Full;
  const double cx = demo.CentreX(), cy = demo.CentreY();
  // The whole map, a quarter, a sixteenth (symbols and labels) and a corner view whose edges
  // cut through objects.
  const std::vector<std::array<double, 3>> views = {
      {1.0, cx, cy},
      {0.25, cx, cy},
      {1.0 / 16, cx, cy},
      {1.0 / 40, full.XMin + 0.3 * (cx - full.XMin), full.YMax - 0.2 * (full.YMax - cy)}};
  for (const auto& [fraction, x, y] : views) {
    const QImage single = draw(fraction, x, y, 1, false);
    EXPECT_GT(std::count_if(single.bits(), single.bits() + single.sizeInBytes(),
                            [](uchar b) { return b != 0xFF; }),
              1000)
        << "view " << fraction << " is blank";
    for (const int threads : {2, 3, 7}) {
      EXPECT_TRUE(draw(fraction, x, y, threads, true) == single)
          << "view " << fraction << ", " << threads << " threads";
    }
  }
}

// Points in the fixed record layout are found through the record index; a file with a record of
// another size (a null shape among the points) is read record by record, each point keeping the
// number of its own record, never by slots that would misread it.
TEST_F(PointsTest, PointsAreFoundThroughTheIndexOrReadByTheirRealRecords) {
  std::vector<demo::Point> lattice;
  for (int y = 0; y < 20; ++y)
    for (int x = 0; x < 20; ++x)
      lattice.push_back({x * 50.0, y * 50.0});
  Write(lattice);
  const TExtent box{0, 0, 60, 60}; // points 0, 1, 20 and 21
  {
    const TPointFile file(Path());
    const std::vector<int> near = file.Near(&box);
    for (const int inside : {0, 1, 20, 21})
      EXPECT_NE(std::find(near.begin(), near.end(), inside), near.end()) << inside;
    EXPECT_LT(near.size(), 40u);
    EXPECT_TRUE(std::is_sorted(near.begin(), near.end()));
    EXPECT_EQ(file.Near(nullptr).size(), 400u);
  }
  // A null record (12 bytes) after the first point: every later point is one record further on.
  QFile f(Path());
  ASSERT_TRUE(f.open(QIODevice::ReadOnly));
  QByteArray bytes = f.readAll();
  f.close();
  const char null[12] = {0, 0, 0, 9, 0, 0, 0, 2, 0, 0, 0, 0};
  bytes.insert(128, null, 12);
  const int32_t words = int32_t(bytes.size() / 2);
  for (int k = 0; k < 4; ++k)
    bytes[24 + k] = char(words >> (24 - 8 * k));
  ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
  f.write(bytes);
  f.close();
  const TPointFile file(Path());
  EXPECT_EQ(file.Count(), 400);
  EXPECT_EQ(file.RecordCount(), 401);
  double x = 0, y = 0;
  int record = 0;
  ASSERT_TRUE(file.At(1, x, y, record));
  EXPECT_EQ(x, 50.0);
  EXPECT_EQ(y, 0.0);
  EXPECT_EQ(record, 2);
  EXPECT_FALSE(file.OfRecord(1, x, y)); // the null record holds no point
  // The layer picks the point at (50, 0) as record 2.
  QImage scratch = Blank();
  gfx::Canvas canvas(scratch);
  EXPECT_EQ(Layer.FindObject(canvas, World, 50, 0, true, false), 2);
}
