// The database points layer and its parametric kind on object, image and group tables written
// for each test: the picture chosen by scale, bitmaps, group and layer symbols, labels, picking,
// look-ups by object number, selection by shapes, the one write, and missing tables and fields.

#include "layers/DBPointsLayer.h"
#include "layers/ParamDBPointsLayer.h"

#include "db/Error.h"
#include "db/ParadoxFile.h"
#include "db/ParadoxFormat.h"
#include "gfx/DrawHelpers.h"

#include <QBuffer>
#include <QFile>
#include <QGuiApplication>
#include <QTemporaryDir>
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
    gfx::SetDelayHandler([](int) {});
  }
  void TearDown() override { delete App; }
  QGuiApplication* App = nullptr;
};
const auto* const gui = ::testing::AddGlobalTestEnvironment(new GuiEnvironment);

struct Object {
  Object(int code, double x, double y, Value image, int group = 1, QString name = {},
         Value power = {})
      : Code(code), X(x), Y(y), Image(std::move(image)), Group(group), Name(std::move(name)),
        Power(std::move(power)) {}
  int Code;
  double X, Y;
  Value Image;
  int Group;
  QString Name;
  Value Power;
};

struct Box {
  int Left = 1 << 30, Top = 1 << 30, Right = -1, Bottom = -1, Count = 0;
  int Width() const { return Right - Left + 1; }
  int Height() const { return Bottom - Top + 1; }
};

// The pixels of one colour, or of any colour but white.
Box InkOf(const QImage& image, QColor colour = QColor()) {
  Box b;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) {
      const QColor c(image.pixel(x, y));
      if (colour.isValid() ? c != colour : c == Qt::white) continue;
      b.Left = std::min(b.Left, x), b.Right = std::max(b.Right, x);
      b.Top = std::min(b.Top, y), b.Bottom = std::max(b.Bottom, y);
      ++b.Count;
    }
  return b;
}

QByteArray Bmp(int w, int h, QColor colour) {
  QImage image(w, h, QImage::Format_RGB32);
  image.fill(colour);
  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  image.save(&buffer, "BMP");
  return bytes;
}

constexpr int16_t kCategory = 100;
constexpr int32_t kClass = 7;
const QColor kLogo(0, 160, 0);
const QColor kSymbol(0, 0, 255); // CharFontColor 0x00FF0000

class DBPointsFixture : public ::testing::Test {
protected:
  void SetUp() override {
    WriteImages({{0, Bmp(31, 20, kLogo)}, {3, Bmp(9, 9, Qt::black)}});
    WriteGroups({{1, "DejaVu Sans", "W"}, {2, "", "W"}, {3, "DejaVu Sans", ""}});
  }

  void WriteImages(const std::vector<std::pair<int, QByteArray>>& images) {
    std::vector<std::vector<Value>> rows;
    for (const auto& [index, bmp] : images)
      rows.push_back({int64_t(index), QString("logo %1").arg(index), bmp});
    db::ParadoxFile::Create(Dir.path() + "/IMAGES.DB",
                            {px::MakeField("ImageIndex", FieldType::Integer),
                             px::MakeField("ImageName", FieldType::String, 30),
                             px::MakeField("Image", FieldType::Graphic, 1)},
                            1, rows);
  }

  struct GroupRow {
    int Number;
    QString Font, Code;
  };
  void WriteGroups(const std::vector<GroupRow>& groups) {
    std::vector<std::vector<Value>> rows;
    for (const GroupRow& g : groups)
      rows.push_back({int64_t(kCategory), int64_t(kClass), int64_t(g.Number), QString("group"),
                      g.Font.isEmpty() ? Value() : Value(g.Font),
                      g.Code.isEmpty() ? Value() : Value(g.Code)});
    db::ParadoxFile::Create(Dir.path() + "/GroupReest.DB",
                            {px::MakeField("Category", FieldType::SmallInt),
                             px::MakeField("Class", FieldType::Integer),
                             px::MakeField("GroupNum", FieldType::Integer),
                             px::MakeField("GroupName", FieldType::String, 255),
                             px::MakeField("SymbolFont", FieldType::String, 255),
                             px::MakeField("Symbol_Code", FieldType::String, 2)},
                            3, rows);
  }

  // Writes the objects table (keyed on Category, Class, ObjectCode) and opens it as the layer's.
  void WriteObjects(TDBPointsLayer& layer, const std::vector<Object>& objects,
                    const QStringList& without = {}) {
    std::vector<db::FieldDef> fields = {px::MakeField("Category", FieldType::SmallInt),
                                        px::MakeField("Class", FieldType::Integer),
                                        px::MakeField("ObjectCode", FieldType::Integer),
                                        px::MakeField("X", FieldType::Float),
                                        px::MakeField("Y", FieldType::Float),
                                        px::MakeField("ImageIndex", FieldType::Integer),
                                        px::MakeField("NUMGROUP", FieldType::Integer),
                                        px::MakeField("NAME", FieldType::String, 20),
                                        px::MakeField("TYPE", FieldType::String, 10),
                                        px::MakeField("STREET", FieldType::String, 20),
                                        px::MakeField("NUMBER", FieldType::String, 5),
                                        px::MakeField("PHONE", FieldType::String, 12),
                                        px::MakeField("POWER", FieldType::Float)};
    std::vector<size_t> kept;
    for (size_t i = 0; i < fields.size(); ++i)
      if (!without.contains(fields[i].Name)) kept.push_back(i);
    std::vector<db::FieldDef> keptFields;
    for (size_t i : kept)
      keptFields.push_back(fields[i]);
    std::vector<std::vector<Value>> rows;
    for (const Object& o : objects) {
      const std::vector<Value> all = {int64_t(kCategory),
                                      int64_t(kClass),
                                      int64_t(o.Code),
                                      o.X,
                                      o.Y,
                                      o.Image,
                                      int64_t(o.Group),
                                      o.Name.isEmpty() ? Value() : Value(o.Name),
                                      QString("вул."),
                                      QString("Садова"),
                                      QString("12"),
                                      QString("234-56-78"),
                                      o.Power};
      std::vector<Value> row;
      for (size_t i : kept)
        row.push_back(all[i]);
      rows.push_back(row);
    }
    db::ParadoxFile::Create(Dir.path() + "/Nodes.db", keptFields, 3, rows);
    layer.ObjectsTable.Close();
    layer.ObjectsTable.SetDatabaseName(Dir.path());
    layer.ObjectsTable.SetTableName("Nodes.db");
    layer.ObjectsTable.Open();
    layer.DatabaseName = Dir.path();
    layer.Category = kCategory;
    layer.Class = kClass;
    layer.Visibled = layer.Selected = true;
    layer.CharLabel = ".";
    layer.CharFont = "DejaVu Sans";
    layer.CharFontSize = 20;
    layer.CharFontColor = 0x00FF0000;
    layer.TextFont = "DejaVu Sans";
  }

  // A 200 × 200 view at `scale` pixels per map unit centred on (50, 50).
  void ViewAt(double scale) {
    const double half = 100 / scale;
    World.SetView(200, 200, 50 - half, 50 - half, 50 + half, 50 + half);
  }
  QImage Drawn(TDBPointsLayer& layer, double scale) {
    ViewAt(scale);
    QImage image(200, 200, QImage::Format_RGB32);
    image.fill(Qt::white);
    gfx::Canvas c(image);
    c.Pen.Color = 0;
    c.Brush.Color = 0;
    c.Brush.Style = 0;
    layer.Draw(c, World);
    return image;
  }

  QTemporaryDir Dir;
  TWorld World;
  TDBPointsLayer Layer;
};

using DBPointsLayerTest = DBPointsFixture;

} // namespace

TEST_F(DBPointsLayerTest, ThePictureFollowsTheScaleThroughBothThresholds) {
  WriteObjects(Layer, {{1, 50, 50, int64_t(0), 1}});
  Layer.ZoomInGroupChar = 1;
  Layer.ZoomInIconScale = 4;
  const Box layerSymbol = InkOf(Drawn(Layer, 0.5), kSymbol);
  const Box groupSymbol = InkOf(Drawn(Layer, 2), kSymbol);
  const QImage logo = Drawn(Layer, 8);
  EXPECT_GT(layerSymbol.Count, 0);
  EXPECT_GT(groupSymbol.Count, 3 * layerSymbol.Count) << "a \"W\" inks far more than a \".\"";
  EXPECT_EQ(InkOf(logo, kSymbol).Count, 0);
  const Box bitmap = InkOf(logo, kLogo);
  // 31 × 20 pixels with the top-left corner at (sx - 15, sy - 10), unscaled.
  EXPECT_EQ(bitmap.Left, 85);
  EXPECT_EQ(bitmap.Top, 90);
  EXPECT_EQ(bitmap.Width(), 31);
  EXPECT_EQ(bitmap.Height(), 20);
  EXPECT_EQ(bitmap.Count, 31 * 20);
  // At exactly a threshold the richer picture is drawn.
  EXPECT_EQ(InkOf(Drawn(Layer, 4), kLogo).Count, 31 * 20);
  EXPECT_EQ(InkOf(Drawn(Layer, 1), kSymbol).Count, groupSymbol.Count);
  // Thresholds of 0 never draw bitmaps or group symbols.
  Layer.ZoomInIconScale = 0;
  Layer.ZoomInGroupChar = 0;
  EXPECT_EQ(InkOf(Drawn(Layer, 8), kLogo).Count, 0);
  EXPECT_EQ(InkOf(Drawn(Layer, 8), kSymbol).Count, layerSymbol.Count);
  // The symbols are centred on the point.
  EXPECT_NEAR((groupSymbol.Left + groupSymbol.Right) / 2.0, 100, 2);
}

TEST_F(DBPointsLayerTest, MissingImagesAndEmptyGroupSymbolsFallBack) {
  // Object 1 has an image number with no image row and a group with a symbol; object 2 an
  // image of its own (none: -1) and a group without a symbol; object 3 a group without a row.
  WriteObjects(Layer, {{1, 50, 50, int64_t(9), 1}, {2, 50, 50, int64_t(-1), 3}});
  Layer.ZoomInGroupChar = 1;
  Layer.ZoomInIconScale = 1;
  const Box both = InkOf(Drawn(Layer, 2), kSymbol);
  WriteObjects(Layer, {{1, 50, 50, int64_t(9), 1}});
  const Box group = InkOf(Drawn(Layer, 2), kSymbol);
  WriteObjects(Layer, {{2, 50, 50, int64_t(-1), 3}});
  const Box noSymbol = InkOf(Drawn(Layer, 2), kSymbol);
  WriteObjects(Layer, {{3, 50, 50, int64_t(-1), 42}});
  const Box noGroup = InkOf(Drawn(Layer, 2), kSymbol);
  Layer.ZoomInGroupChar = 0;
  const Box plain = InkOf(Drawn(Layer, 2), kSymbol);
  EXPECT_GT(group.Count, 3 * plain.Count) << "the group's \"W\"";
  EXPECT_EQ(noSymbol.Count, plain.Count) << "empty Symbol_Code: the layer's symbol";
  EXPECT_EQ(noGroup.Count, plain.Count);
  EXPECT_GE(both.Count, group.Count);
}

TEST_F(DBPointsLayerTest, AGroupWithoutAFontDrawsInTheLayersFont) {
  Layer.ZoomInGroupChar = 1;
  auto group = [&](const QString& groupFont, const QString& layerFont) {
    WriteGroups({{1, groupFont, "W"}});
    WriteObjects(Layer, {{1, 50, 50, int64_t(-1), 1}});
    Layer.CharFont = layerFont;
    return Drawn(Layer, 2);
  };
  const QImage inherited = group("", "DejaVu Serif");
  EXPECT_EQ(inherited, group("DejaVu Serif", "DejaVu Sans Mono"));
  EXPECT_NE(inherited, group("DejaVu Sans Mono", "DejaVu Serif"));
}

TEST_F(DBPointsLayerTest, AnEmptyImageNumberDrawsImageZeroButReadsAsNone) {
  WriteObjects(Layer, {{1, 50, 50, Value(), 1}, {2, 10, 10, int64_t(3), 1}});
  Layer.ZoomInIconScale = 1;
  EXPECT_EQ(InkOf(Drawn(Layer, 2), kLogo).Count, 31 * 20);
  EXPECT_EQ(Layer.GetObjectImage(1), -1);
  EXPECT_EQ(Layer.GetObjectImage(2), 3);
  EXPECT_EQ(Layer.GetObjectImage(99), -1);
}

TEST_F(DBPointsLayerTest, SettingAnImageWritesTheTableAtOnce) {
  WriteObjects(Layer, {{1, 50, 50, Value(), 1, "first"}, {2, 10, 10, int64_t(3), 2, "second"}});
  Layer.SetObjectImage(2, 0);
  Layer.SetObjectImage(77, 4); // no such object: nothing
  db::Table file(Dir.path(), "nodes.DB");
  file.Open();
  ASSERT_EQ(file.RecordCount(), 2);
  ASSERT_TRUE(file.FindKey({int64_t(kCategory), int64_t(kClass), int64_t(2)}));
  EXPECT_EQ(file.FieldByName("ImageIndex").AsInteger(), 0);
  EXPECT_EQ(file.FieldByName("NAME").AsString(), "second");
  EXPECT_EQ(file.FieldByName("X").AsFloat(), 10);
  ASSERT_TRUE(file.FindKey({int64_t(kCategory), int64_t(kClass), int64_t(1)}));
  EXPECT_TRUE(file.FieldByName("ImageIndex").IsNull());
  EXPECT_EQ(Layer.GetObjectImage(2), 0);
  // The next drawing shows the new logo.
  Layer.ZoomInIconScale = 1;
  EXPECT_EQ(InkOf(Drawn(Layer, 2), kLogo).Count, 2 * 31 * 20) << "image 0, and none: image 0";
  Layer.SetObjectImage(1, 3);
  const QImage image = Drawn(Layer, 2);
  EXPECT_EQ(InkOf(image, kLogo).Count, 31 * 20);
  EXPECT_EQ(InkOf(image, Qt::black).Count, 9 * 9);
}

TEST_F(DBPointsLayerTest, LabelsComeFromTheNamedFieldAndAreSkippedWithoutOne) {
  WriteObjects(Layer, {{1, 50, 50, Value(), 1, "Label"}});
  Layer.VisibleLabel = true;
  Layer.TextFontSize = 12;
  Layer.TextColor = 0x000000FF;
  Layer.XLabel = 1;
  Layer.TextFieldLabel = "NAME";
  const Box label = InkOf(Drawn(Layer, 1), QColor(255, 0, 0));
  EXPECT_GT(label.Count, 20);
  EXPECT_NEAR(label.Left, 100, 3) << "XLabel 1: the text starts at the point";
  Layer.ZoomInLabelScale = 2;
  EXPECT_EQ(InkOf(Drawn(Layer, 1), QColor(255, 0, 0)).Count, 0) << "below the label threshold";
  Layer.ZoomInLabelScale = 0;
  for (const QString& name : {QString(), QString("NOSUCHFIELD")}) {
    Layer.TextFieldLabel = name;
    const QImage image = Drawn(Layer, 1);
    EXPECT_EQ(InkOf(image, QColor(255, 0, 0)).Count, 0) << name.toStdString();
    EXPECT_GT(InkOf(image, kSymbol).Count, 0) << "the symbols are still drawn";
  }
}

TEST_F(DBPointsLayerTest, APickFindsTheNearestObjectInsideABoxAsLargeAsAW) {
  // Scale 1 around (50, 50); "W" of DejaVu Sans at 20 points is about 26 pixels wide.
  WriteObjects(Layer, {{1, 60, 50, Value(), 1}, {2, 40, 50, Value(), 1}});
  ViewAt(1);
  QImage scratch(200, 200, QImage::Format_RGB32);
  gfx::Canvas c(scratch);
  // Objects 1 and 2 are at the same distance: the earlier row wins.
  EXPECT_EQ(Layer.FindObject(c, World, 50, 50, false, false), 0);
  EXPECT_EQ(Layer.FoundX, 60);
  EXPECT_EQ(Layer.FindObject(c, World, 45, 50, false, false), 1);
  EXPECT_EQ(Layer.FoundX, 40);
  // The box reaches the width of a "W" on either side, and its height above and below.
  c.Font.Name = "DejaVu Sans";
  c.Font.Size = 20;
  c.Font.CharSet = 2;
  const int w = c.TextWidth("W"), h = c.TextHeight("W");
  ASSERT_GT(w, 20);
  ASSERT_LT(w, 30);
  WriteObjects(Layer, {{1, 50, 50, Value(), 1}});
  EXPECT_EQ(Layer.FindObject(c, World, 50 - w, 50, false, false), 0);
  EXPECT_EQ(Layer.FindObject(c, World, 50 - w - 1, 50, false, false), -1);
  EXPECT_EQ(Layer.FindObject(c, World, 50, 50 + h, false, false), 0);
  EXPECT_EQ(Layer.FindObject(c, World, 50, 50 + h + 1, false, false), -1);
  // Not selectable: found only when the caller ignores that; hidden: never.
  Layer.Selected = false;
  EXPECT_EQ(Layer.FindObject(c, World, 50, 50, false, false), -1);
  EXPECT_EQ(Layer.FindObject(c, World, 50, 50, true, false), 0);
  Layer.Visibled = false;
  EXPECT_EQ(Layer.FindObject(c, World, 50, 50, true, false), -1);
}

TEST_F(DBPointsLayerTest, TheBlinkIsARedCircleThatLeavesThePictureAsItWas) {
  WriteObjects(Layer, {{1, 50, 50, Value(), 1}});
  ViewAt(1);
  QImage image(200, 200, QImage::Format_RGB32);
  image.fill(Qt::white);
  const QImage before = image.copy();
  gfx::Canvas c(image);
  int flushes = 0;
  Box first;
  c.OnFlush = [&] {
    if (flushes++ == 0) first = InkOf(image);
  };
  Layer.FlashObject(0, c, World);
  EXPECT_EQ(flushes, 6);
  EXPECT_NEAR((first.Left + first.Right) / 2.0, 100, 1);
  EXPECT_NEAR(first.Width(), 21, 2);
  EXPECT_EQ(image, before);
  Layer.FlashObject(1, c, World); // past the end
  Layer.FlashObject(-1, c, World);
  EXPECT_EQ(flushes, 6);
}

TEST_F(DBPointsLayerTest, LookUpsByObjectNumberAndRowPosition) {
  WriteObjects(Layer, {{5, 10, 20, Value(), 1, "five"}, {7, 30, 40, Value(), 1, "seven"}});
  double x = -1, y = -1;
  Layer.GetObjectPoint(7, x, y);
  EXPECT_EQ(x, 30);
  EXPECT_EQ(y, 40);
  Layer.GetObjectPoint(6, x, y);
  EXPECT_EQ(x, 30) << "an unknown number leaves the outputs";
  const TObjectInfo info = Layer.GetObjectInfo(5);
  EXPECT_EQ(info.X, 10);
  EXPECT_EQ(info.Name, "five");
  EXPECT_EQ(info.Type, QString("вул."));
  EXPECT_EQ(info.Street, QString("Садова"));
  EXPECT_EQ(info.Number, "12");
  EXPECT_EQ(info.Phone, "234-56-78");
  EXPECT_TRUE(Layer.GetObjectInfo(6).Name.isEmpty());
  EXPECT_EQ(Layer.GetObjectCode(1), 7);
  EXPECT_EQ(Layer.GetObjectCode(2), -1);
  EXPECT_EQ(Layer.GetObjectCode(-1), -1);
  EXPECT_EQ(Layer.IndexOfCode(7), 1);
  EXPECT_EQ(Layer.IndexOfCode(8), -1);
}

TEST_F(DBPointsLayerTest, ARepeatedObjectCodeGivesTheFirstRow) {
  // The key is (Category, Class, ObjectCode): code 4 occurs again under the next class.
  WriteObjects(Layer, {{1, 0, 0, Value(), 1}, {4, 1, 1, Value(), 1}});
  db::Table t(Dir.path(), "Nodes.db");
  t.Open();
  t.Append();
  t.FieldByName("Category").SetAsInteger(kCategory);
  t.FieldByName("Class").SetAsInteger(kClass + 1);
  t.FieldByName("ObjectCode").SetAsInteger(4);
  t.Post();
  t.Close();
  Layer.ObjectsTable.Close();
  Layer.ObjectsTable.Open();
  ASSERT_EQ(Layer.ObjectsTable.RecordCount(), 3);
  EXPECT_EQ(Layer.IndexOfCode(4), 1);
}

TEST_F(DBPointsLayerTest, LocatingMovesTheViewOnlyForPointsNearTheEdge) {
  WriteObjects(Layer, {{1, 50, 50, Value(), 1}, {2, 145, 50, Value(), 1}});
  ViewAt(1); // (-50, -50)–(150, 150)
  Layer.FoundX = Layer.FoundY = -7;
  EXPECT_FALSE(Layer.LocateObject(3, World));
  EXPECT_EQ(Layer.FoundX, -7);
  EXPECT_EQ(Layer.FoundY, -7);
  const TExtent before = World.ViewExtent;
  EXPECT_TRUE(Layer.LocateObject(1, World));
  EXPECT_EQ(World.ViewExtent.XMin, before.XMin);
  EXPECT_TRUE(Layer.LocateObject(2, World)); // 5 pixels from the right edge
  EXPECT_EQ(Layer.FoundX, 145);
  EXPECT_DOUBLE_EQ((World.ViewExtent.XMin + World.ViewExtent.XMax) / 2, 145);
  EXPECT_DOUBLE_EQ(World.ViewExtent.XMax - World.ViewExtent.XMin, before.XMax - before.XMin);
}

TEST_F(DBPointsLayerTest, ShapesSelectObjectsOfTheGivenGroupsOnce) {
  WriteObjects(Layer, {{1, 10, 10, Value(), 1},
                       {2, 50, 50, Value(), 2},
                       {3, 90, 90, Value(), 1},
                       {4, 30, 65, Value(), 1}});
  TSelectionShape circle;
  circle.Kind = 1;
  circle.Radius = 10;
  circle.CentreX = 16;
  circle.CentreY = 18; // distance to (10, 10) is exactly 10
  TSelectionShape rect;
  rect.Kind = 2;
  rect.XMin = 0, rect.YMin = 0, rect.XMax = 60, rect.YMax = 60;
  TSelectionShape triangle; // open ring: (0, 100), (40, 100), (40, 60)
  triangle.Kind = 3;
  triangle.Points = {{0, 100}, {40, 100}, {40, 60}};
  TSelectionShape unknown;
  unknown.Kind = 9;
  unknown.XMax = unknown.YMax = 1000;
  std::vector<TSelectionRecord> result;
  Layer.SelectObjectsInPolygon({circle, rect, triangle, unknown}, World, {}, result);
  EXPECT_TRUE(result.empty()) << "a group count of 0 selects nothing";
  Layer.SelectObjectsInPolygon({circle, rect, triangle, unknown}, World, {1}, result);
  // Object 1 lies in the circle and the rectangle: one record; object 2 is of group 2; object 4
  // is outside the triangle (below its hypotenuse); object 3 is in no shape.
  ASSERT_EQ(result.size(), 1u);
  EXPECT_EQ(result[0].Category, kCategory);
  EXPECT_EQ(result[0].Class, kClass);
  EXPECT_EQ(result[0].GroupCount, 1);
  EXPECT_EQ(result[0].Groups, std::vector<int32_t>{1});
  EXPECT_EQ(result[0].Row, 0);
  result.clear();
  TSelectionShape square;
  square.Kind = 3;
  square.Points = {{20, 60}, {40, 60}, {40, 80}, {20, 80}, {20, 60}};
  Layer.SelectObjectsInPolygon({square}, World, {2, 1}, result);
  ASSERT_EQ(result.size(), 1u);
  EXPECT_EQ(result[0].Row, 3);
}

TEST_F(DBPointsLayerTest, TheNearestObjectOfTheGivenGroupsIgnoresVisibility) {
  WriteObjects(Layer, {{1, 10, 10, Value(), 1}, {2, 50, 50, Value(), 2}, {3, 90, 90, Value(), 1}});
  Layer.Visibled = false;
  int extra = 5;
  EXPECT_EQ(Layer.FindNearestObject(World, {1}, 60, 60, extra), 2);
  EXPECT_EQ(extra, 0);
  EXPECT_EQ(Layer.FindNearestObject(World, {1, 2}, 60, 60, extra), 1);
  EXPECT_EQ(Layer.FindNearestObject(World, {}, 60, 60, extra), -1);
}

TEST_F(DBPointsLayerTest, MissingTablesAndFieldsAreNamedInTheError) {
  auto drawError = [&]() -> QString {
    try {
      Drawn(Layer, 2);
    } catch (const db::Error& e) {
      return e.Message;
    }
    return QString();
  };
  WriteObjects(Layer, {{1, 50, 50, Value(), 1}}, {"NUMGROUP"});
  QString message = drawError();
  EXPECT_TRUE(message.contains("NUMGROUP")) << message.toStdString();
  EXPECT_TRUE(message.contains("Nodes.db", Qt::CaseInsensitive)) << message.toStdString();
  WriteObjects(Layer, {{1, 50, 50, Value(), 1}});
  QFile::remove(Dir.path() + "/IMAGES.DB");
  message = drawError();
  EXPECT_TRUE(message.contains("IMAGES.DB", Qt::CaseInsensitive)) << message.toStdString();
  // A hidden layer draws nothing and so misses nothing.
  Layer.Visibled = false;
  EXPECT_TRUE(drawError().isEmpty());
}

namespace {

class ParamDBPointsTest : public DBPointsFixture {
protected:
  // The width of the circle drawn for the one object (the layer has no symbol character).
  int CircleWidth(double scale = 1) {
    Param.CharLabel.clear();
    return InkOf(Drawn(Param, scale), Qt::black).Width();
  }
  TParamDBPointsLayer Param;
};

} // namespace

TEST_F(ParamDBPointsTest, SymbolsAreSizedByTheAttributeAndNeverBelowTen) {
  WriteObjects(Param, {{1, 50, 50, Value(), 1, "", 3.0}});
  Param.CharFontSize = 6;
  EXPECT_EQ(CircleWidth(), 10) << "no sizing field: 6 is raised to 10";
  Param.CharFontSize = 20;
  Param.ParamSizeField = "POWER";
  Param.ParamSizeKoef = 0.5;
  EXPECT_EQ(CircleWidth(), 30) << "0.5 × 20 × 3";
  Param.CharLabelScale = true;
  Param.CharFontSize = 10;
  EXPECT_EQ(CircleWidth(2), 30) << "10 × scale 2 = 20, then × 0.5 × 3";
  WriteObjects(Param, {{1, 50, 50, Value(), 1, "", Value()}});
  EXPECT_EQ(CircleWidth(2), 10) << "an empty value reads as 0";
}

TEST_F(ParamDBPointsTest, BitmapsKeepTheirSizeAndAMissingSizingFieldIsNamed) {
  WriteObjects(Param, {{1, 50, 50, int64_t(0), 1, "", 10.0}});
  Param.ParamSizeField = "POWER";
  Param.ParamSizeKoef = 1;
  Param.ZoomInIconScale = 1;
  EXPECT_EQ(InkOf(Drawn(Param, 2), kLogo).Count, 31 * 20);
  Param.ParamSizeField = "DIAMETER";
  try {
    Drawn(Param, 2);
    FAIL() << "no such field";
  } catch (const db::Error& e) {
    EXPECT_TRUE(e.Message.contains("DIAMETER")) << e.Message.toStdString();
  }
}
