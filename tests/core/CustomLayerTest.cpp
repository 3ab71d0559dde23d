// The layer base: reading and writing a layers-table row, the geometry header and attribute
// table of a layer, its object-utilities component, and the errors of a broken row or file.

#include "core/CustomLayer.h"

#include "AtlasWriter.h"
#include "ShapeWriter.h"

#include "base/FileError.h"
#include "db/Error.h"
#include "db/ParadoxFile.h"
#include "db/Table.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

// An atlas for the tests of this file, written once.
QString Atlas() {
  static QTemporaryDir dir;
  static bool written = false;
  if (!written) {
    demo::WriteAtlas(dir.path(), 1, 3);
    written = true;
  }
  return dir.path();
}

// A scratch copy of the atlas's BASE and the MAPS files a test needs.
struct ScratchAtlas {
  QTemporaryDir Dir;
  QString Base() const { return Dir.path() + "/BASE"; }
  QString Maps() const { return Dir.path() + "/MAPS"; }
  ScratchAtlas() {
    for (const char* sub : {"BASE", "MAPS"}) {
      QDir().mkpath(Dir.path() + "/" + sub);
      for (const QString& f : QDir(Atlas() + "/" + sub).entryList(QDir::Files))
        QFile::copy(Atlas() + "/" + sub + "/" + f, Dir.path() + "/" + sub + "/" + f);
    }
  }
};

bool GoToLayer(db::Table& t, int category, int cls) {
  t.SetIndexName("CLASS_ID");
  return t.FindKey({int64_t(category), int64_t(cls)});
}

struct RecordingUtils : plugins::IObjectUtils {
  QStringList* Calls;
  explicit RecordingUtils(QStringList* calls) : Calls(calls) {}
  void SetHost(plugins::IObjectUtilsHost*) override { *Calls << "13"; }
  void Start() override { *Calls << "1"; }
  void SetMainForm(QObject*) override { *Calls << "12"; }
  void SelectObject(int code) override { *Calls << QString("3:%1").arg(code); }
  void ShowCard() override { *Calls << "4"; }
  void ShowList() override { *Calls << "10"; }
  void Finish() override { *Calls << "2"; }
};

} // namespace

TEST(CustomLayer, ReadsTheRowAndTheGeometryHeader) {
  db::Table t(Atlas() + "/BASE", "classreest");
  t.Open();
  ASSERT_TRUE(GoToLayer(t, 2, 1));
  TCustomLayer layer;
  layer.LoadFromDataSet(t, Atlas() + "/MAPS");
  EXPECT_EQ(layer.ClassName, QString::fromUtf8("Будинки"));
  EXPECT_EQ(layer.Category, 2);
  EXPECT_EQ(layer.Class, 1);
  EXPECT_EQ(layer.PrimitiveType, 5);
  EXPECT_EQ(layer.RenderType, -1);
  EXPECT_EQ(layer.Shadow, 2);
  EXPECT_TRUE(layer.Visibled);
  EXPECT_EQ(layer.TextFieldLabel, "NUMBER");
  EXPECT_DOUBLE_EQ(layer.ZoomInScale, 0.12);
  // Loading names the attribute table and reads no row of it; the first use opens it.
  EXPECT_FALSE(layer.AttrTable.Active());
  EXPECT_EQ(layer.Attributes().RecordCount(), int(demo::BuildCity(1, 3).Buildings.size()));
  EXPECT_TRUE(layer.AttrTable.Active());
  EXPECT_EQ(layer.DatabaseName, Atlas() + "/BASE");
  EXPECT_TRUE(layer.FullPath.endsWith("/MAPS/Buildings.mds"));
  // The extent comes from the geometry header.
  const demo::City city = demo::BuildCity(1, 3);
  demo::Extent box;
  for (const auto& b : city.Buildings)
    for (const auto& r : b.Rings)
      for (const auto& p : r)
        box.Add(p);
  EXPECT_EQ(layer.X0, box.XMin);
  EXPECT_EQ(layer.Ym, box.YMax);
  EXPECT_FALSE(layer.ObjectUtils);
}

TEST(CustomLayer, ShpRowsUseTheMdsFileAndWriteItBack) {
  ScratchAtlas a;
  db::Table t(a.Base(), "classreest");
  t.Open();
  ASSERT_TRUE(GoToLayer(t, 7, 4)); // FileName "Streets.shp"
  EXPECT_EQ(t.FieldByName("FileName").AsString(), "Streets.shp");
  TCustomLayer layer;
  layer.LoadFromDataSet(t, a.Maps());
  EXPECT_EQ(layer.FileName, "Streets.mds");
  EXPECT_EQ(layer.PrimitiveType, 3);
  EXPECT_EQ(layer.Attributes().RecordCount(), 24); // Streets.dbf
  // A row whose extent was typed differently gets the header's extent back.
  t.Edit();
  t.FieldByName("X0").SetAsFloat(1.0);
  t.Post();
  layer.SaveToDataSet(t);
  db::Table check(a.Base(), "CLASSREEST.DB");
  check.Open();
  ASSERT_TRUE(GoToLayer(check, 7, 4));
  EXPECT_EQ(check.FieldByName("FileName").AsString(), "Streets.mds");
  EXPECT_EQ(check.FieldByName("X0").AsFloat(), layer.X0);
  EXPECT_FALSE(layer.AttrTable.Active()) << "saving closes the attribute table";
}

TEST(CustomLayer, SavingKeepsTheFieldsItDoesNotWrite) {
  ScratchAtlas a;
  db::Table t(a.Base(), "classreest");
  t.Open();
  ASSERT_TRUE(GoToLayer(t, 5, 2));
  t.Edit();
  t.FieldByName("TextFontStrikeOut").SetAsBoolean(true);
  t.FieldByName("TextInBox").SetAsBoolean(true);
  t.FieldByName("TextCharSet").SetAsInteger(162);
  t.FieldByName("ParamSizeKoef").SetAsFloat(0.125);
  t.Post();
  std::vector<db::Value> before;
  for (auto& f : t.Fields())
    before.push_back(f.AsValue());
  TCustomLayer layer;
  layer.LoadFromDataSet(t, a.Maps());
  layer.Level = 999;     // not written back
  layer.RenderType = 42; // not written back
  layer.TextFontStrikeOut = false;
  layer.ClassName = QString::fromUtf8("Пункти ГГС");
  layer.SaveToDataSet(t);

  db::Table check(a.Base(), "classreest");
  check.Open();
  ASSERT_TRUE(GoToLayer(check, 5, 2));
  for (size_t f = 0; f < check.Fields().size(); ++f) {
    const QString name = check.Fields()[f].FieldName();
    if (name == "ClassName") {
      EXPECT_EQ(check.Fields()[f].AsString(), QString::fromUtf8("Пункти ГГС"));
      continue;
    }
    if (name == "X0" || name == "Y0" || name == "Xm" || name == "Ym")
      continue; // the header's extent
    EXPECT_TRUE(db::ValuesEqual(check.Fields()[f].AsValue(), before[f]) ||
                (db::IsNull(before[f]) && db::ValueToFloat(check.Fields()[f].AsValue()) == 0))
        << name.toStdString();
  }
}

TEST(CustomLayer, GetObjectCodeStaysWithinTheTable) {
  db::Table t(Atlas() + "/BASE", "classreest");
  t.Open();
  ASSERT_TRUE(GoToLayer(t, 8, 1)); // address points, whose table has OBJECTCODE
  TCustomLayer layer;
  layer.LoadFromDataSet(t, Atlas() + "/MAPS");
  const int rows = layer.Attributes().RecordCount();
  EXPECT_EQ(layer.GetObjectCode(-1), -1);
  EXPECT_EQ(layer.GetObjectCode(0), 0);
  EXPECT_EQ(layer.GetObjectCode(rows - 1), rows - 1);
  EXPECT_EQ(layer.GetObjectCode(rows), -1);
  ASSERT_TRUE(GoToLayer(t, 100, 1)); // a database point layer has no attribute table
  TCustomLayer objects;
  objects.LoadFromDataSet(t, Atlas() + "/MAPS");
  EXPECT_FALSE(objects.AttrTable.Active()) << "a .db row does not touch the attribute table";
  EXPECT_EQ(objects.GetObjectCode(0), -1);
  EXPECT_EQ(objects.IndexOfCode(17), 17);
}

TEST(CustomLayer, BrokenRowsAndFilesNameWhatIsWrong) {
  ScratchAtlas a;
  db::Table t(a.Base(), "classreest");
  t.Open();
  ASSERT_TRUE(GoToLayer(t, 2, 1));
  // A missing attribute table.
  QFile::remove(a.Maps() + "/Buildings.dbf");
  try {
    TCustomLayer layer;
    layer.LoadFromDataSet(t, a.Maps());
    FAIL() << "loaded without its attribute table";
  } catch (const db::Error& e) {
    EXPECT_TRUE(e.Message.contains("Buildings.DBF")) << e.Message.toStdString();
  }
  // A short geometry file.
  ASSERT_TRUE(GoToLayer(t, 7, 4));
  QFile streets(a.Maps() + "/Streets.mds");
  ASSERT_TRUE(streets.resize(50));
  try {
    TCustomLayer layer;
    layer.LoadFromDataSet(t, a.Maps());
    FAIL() << "loaded a short geometry file";
  } catch (const base::FileError& e) {
    EXPECT_TRUE(e.Path.endsWith("Streets.mds")) << e.what();
  }
  // A missing geometry file.
  QFile::remove(a.Maps() + "/Streets.mds");
  EXPECT_THROW(
      {
        TCustomLayer layer;
        layer.LoadFromDataSet(t, a.Maps());
      },
      base::FileError);
}

TEST(CustomLayer, AMissingFieldInTheLayersTableIsNamed) {
  QTemporaryDir dir;
  namespace px = db::paradox;
  db::ParadoxFile::Create(dir.path() + "/classreest.DB",
                          {px::MakeField("Level", db::FieldType::Integer),
                           px::MakeField("Category", db::FieldType::SmallInt)},
                          1, {{int64_t(1), int64_t(2)}});
  db::Table t(dir.path(), "classreest");
  t.Open();
  try {
    TCustomLayer layer;
    layer.LoadFromDataSet(t, dir.path());
    FAIL();
  } catch (const db::Error& e) {
    EXPECT_TRUE(e.Message.contains("\"Class\"")) << e.Message.toStdString();
  }
}

TEST(CustomLayer, ObjectUtilitiesComponentsAreCalledInOrder) {
  ScratchAtlas a;
  QStringList calls;
  auto& registry = plugins::ObjectUtilsRegistry::Instance();
  registry.Register("{11111111-2222-3333-4444-555555555555}",
                    [&](const plugins::ObjectUtilsContext& context) {
                      EXPECT_EQ(context.Category, 5);
                      return std::make_unique<RecordingUtils>(&calls);
                    });
  db::Table t(a.Base(), "classreest");
  t.Open();
  ASSERT_TRUE(GoToLayer(t, 5, 1));
  t.Edit();
  t.FieldByName("ObjUtilsGUID").SetAsString("{11111111-2222-3333-4444-555555555555}");
  t.Post();
  {
    TCustomLayer layer;
    layer.LoadFromDataSet(t, a.Maps());
    ASSERT_TRUE(layer.ObjectUtils);
    layer.ShowObjectCard(7);
    layer.ShowObjectList();
  }
  EXPECT_EQ(calls, QStringList({"13", "1", "12", "3:7", "4", "10", "2"}));

  // An identifier nobody knows ends the load with a message naming it.
  t.Edit();
  t.FieldByName("ObjUtilsGUID").SetAsString("{DEADBEEF-0000-0000-0000-000000000000}");
  t.Post();
  try {
    TCustomLayer layer;
    layer.LoadFromDataSet(t, a.Maps());
    FAIL();
  } catch (const std::runtime_error& e) {
    EXPECT_NE(std::string(e.what()).find("{DEADBEEF-0000-0000-0000-000000000000}"),
              std::string::npos)
        << e.what();
  }
  // Without an identifier the card and list calls do nothing.
  ASSERT_TRUE(GoToLayer(t, 5, 2));
  TCustomLayer plain;
  plain.LoadFromDataSet(t, a.Maps());
  plain.ShowObjectCard(1);
  plain.ShowObjectList();
  EXPECT_FALSE(plain.ObjectUtils);
}

TEST(CustomLayer, ScaleTestFollowsTheThresholds) {
  TCustomLayer l;
  l.Visibled = true;
  EXPECT_TRUE(l.ScaleAllowsDrawing(0.5));
  l.ZoomInScale = 0.5;
  EXPECT_TRUE(l.ScaleAllowsDrawing(0.5)); // equality draws
  EXPECT_FALSE(l.ScaleAllowsDrawing(0.4));
  l.ZoomOutScale = 2;
  EXPECT_TRUE(l.ScaleAllowsDrawing(2));
  EXPECT_FALSE(l.ScaleAllowsDrawing(2.1));
  l.VisibleLabel = true;
  EXPECT_FALSE(l.ScaleAllowsLabels(1)) << "no label field";
  l.TextFieldLabel = "NAME";
  l.ZoomInLabelScale = 1.5;
  EXPECT_FALSE(l.ScaleAllowsLabels(1));
  EXPECT_TRUE(l.ScaleAllowsLabels(1.5));
  l.Visibled = false;
  EXPECT_FALSE(l.ScaleAllowsLabels(1.5));
}
