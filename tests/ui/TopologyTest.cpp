// The network topology on pipe and node tables written for each test, and on the demo atlas;
// the object index rebuilt from the node tables.

#include "ui/NetworkTopology.h"

#include "overlays/DBPointsIndexs.h"
#include "overlays/ObjectIndexBuilder.h"

#include "AtlasWriter.h"
#include "ShapeWriter.h"

#include "core/LayerFactory.h"
#include "core/MapContent.h"
#include "db/DbaseFile.h"
#include "db/Error.h"
#include "db/ParadoxFile.h"
#include "db/ParadoxFormat.h"
#include "layers/LayerKinds.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

using db::FieldType;
using db::Value;
using demo::Ring;
namespace px = db::paradox;

class TopologyTest : public ::testing::Test {
protected:
  void SetUp() override {
    for (const char* d : {"MAPS", "BASE", "USER_OBJ"})
      QDir(Dir.path()).mkpath(d);
    db::ParadoxFile::Create(Dir.path() + "/BASE/ClassReest.db",
                            {px::MakeField("Category", FieldType::SmallInt),
                             px::MakeField("Class", FieldType::Integer),
                             px::MakeField("FileName", FieldType::String, 40)},
                            2,
                            {{int64_t(100), int64_t(1), QString("WaterWells.db")},
                             {int64_t(100), int64_t(2), QString("SewerWells.db")}});
  }
  // Nodes of (100, class) as (number, x, y), in SPIN.DB with a 100-unit cell.
  void WriteNodes(const std::vector<std::tuple<int, int, double, double>>& nodes) {
    std::vector<std::vector<Value>> rows = {{int64_t(0), int64_t(0), int64_t(0), int64_t(0),
                                             int64_t(0), 100.0, 100.0, Value(), Value()}};
    for (const auto& [cls, number, x, y] : nodes)
      rows.push_back({int64_t(x / 100) + 1, int64_t(y / 100) + 1, int64_t(100), int64_t(cls),
                      int64_t(number), x, y, Value(), Value()});
    db::ParadoxFile::Create(Dir.path() + "/USER_OBJ/SPIN.DB", GridTableFields(), 5, rows);
  }
  // Pipes as the geometry file, and `rows` attribute rows with HUB1CODE and HUB2CODE at 99.
  void WritePipes(const QString& name, const std::vector<std::vector<Ring>>& pipes, int rows) {
    demo::ShapeWriter w(demo::ShapeType::PolyLine);
    for (const auto& parts : pipes)
      w.AddShape(parts);
    w.Save(Maps() + "/" + name + ".mds");
    std::vector<std::vector<Value>> values(size_t(rows), {int64_t(99), int64_t(99)});
    db::DbaseFile::Create(Maps() + "/" + name + ".dbf",
                          {db::MakeDbaseField("HUB1CODE", FieldType::Integer, 9),
                           db::MakeDbaseField("HUB2CODE", FieldType::Integer, 9)},
                          values);
  }
  std::vector<std::pair<int64_t, int64_t>> Hubs(const QString& table) {
    db::Table t(Maps(), table);
    t.Open();
    std::vector<std::pair<int64_t, int64_t>> hubs;
    for (t.First(); !t.Eof(); t.Next())
      hubs.emplace_back(t.FieldByName("HUB1CODE").AsInteger(),
                        t.FieldByName("HUB2CODE").AsInteger());
    return hubs;
  }
  TNetworkHubsResult Run(const QString& table, int cls, const TTopologyProgress& progress = {}) {
    TDBPointsIndexs index(Maps(), Dir.path() + "/BASE", Dir.path() + "/USER_OBJ", 0, 0, 1000, 1000);
    return CalcNetworkHubs(index, World, Maps(), table, 100, cls, progress);
  }
  QString Maps() const { return Dir.path() + "/MAPS"; }

  QTemporaryDir Dir;
  TWorld World;
};

} // namespace

TEST_F(TopologyTest, EachEndTakesTheNearestNodeOfItsNetworkWithinTenUnits) {
  WriteNodes({{1, 11, 103, 100}, {1, 12, 106, 100}, {1, 13, 252, 250}, {2, 21, 300, 300}});
  WritePipes("Water", {{{{100, 100}, {150, 100}, {200, 100}}}, {{{250, 250}}}}, 2);
  const TNetworkHubsResult r = Run("Water.dbf", 1);
  EXPECT_EQ(r.Pipes, 2);
  EXPECT_EQ(r.EndsJoined, 3);
  EXPECT_EQ(r.EndsNotJoined, 1);
  EXPECT_TRUE(r.RowsWithoutLine.isEmpty());
  const auto hubs = Hubs("Water.dbf");
  EXPECT_EQ(hubs[0], std::make_pair(int64_t(11), int64_t(-1))) << "the nearer of two; none";
  EXPECT_EQ(hubs[1], std::make_pair(int64_t(13), int64_t(13))) << "a one-point pipe";
  // The same again gives the same values.
  Run("Water.dbf", 1);
  EXPECT_EQ(Hubs("Water.dbf"), hubs);
}

TEST_F(TopologyTest, ASewerPipeNextToAWaterNodeFindsNone) {
  WriteNodes({{1, 11, 100, 100}, {2, 21, 400, 400}});
  WritePipes("Kanaliz", {{{{101, 101}, {399, 399}}}}, 1);
  Run("Kanaliz.dbf", 2);
  EXPECT_EQ(Hubs("Kanaliz.dbf")[0], std::make_pair(int64_t(-1), int64_t(21)));
}

TEST_F(TopologyTest, RowsWithoutAUsableLineGetMinusOneAndAreReported) {
  WriteNodes({{1, 11, 100, 100}});
  // Two records for four rows; the second record has no points.
  WritePipes("Water", {{{{100, 100}, {150, 150}}}, {}}, 4);
  const TNetworkHubsResult r = Run("Water.dbf", 1);
  EXPECT_EQ(r.Pipes, 4);
  const auto hubs = Hubs("Water.dbf");
  EXPECT_EQ(hubs[0], std::make_pair(int64_t(11), int64_t(-1)));
  for (size_t i = 1; i < 4; ++i)
    EXPECT_EQ(hubs[i], std::make_pair(int64_t(-1), int64_t(-1))) << i;
  ASSERT_EQ(r.RowsWithoutLine.size(), 3);
  EXPECT_TRUE(r.RowsWithoutLine[0].startsWith("row 2:")) << r.RowsWithoutLine[0].toStdString();
  EXPECT_EQ(r.RowsWithoutLine[1], "row 3: no geometry record");
}

TEST_F(TopologyTest, ACancelKeepsTheRowsWrittenAndLeavesTheRest) {
  WriteNodes({{1, 11, 100, 100}});
  WritePipes("Water", {{{{100, 100}}}, {{{100, 100}}}, {{{100, 100}}}}, 3);
  const TNetworkHubsResult r = Run("Water.dbf", 1, [](int done, int total) {
    EXPECT_EQ(total, 3);
    return done < 2;
  });
  EXPECT_TRUE(r.Cancelled);
  EXPECT_EQ(r.Pipes, 2);
  const auto hubs = Hubs("Water.dbf");
  EXPECT_EQ(hubs[1], std::make_pair(int64_t(11), int64_t(11)));
  EXPECT_EQ(hubs[2], std::make_pair(int64_t(99), int64_t(99))) << "not reached";
}

TEST_F(TopologyTest, AMissingFieldOrGeometryFileIsNamed) {
  WriteNodes({{1, 11, 100, 100}});
  WritePipes("Water", {{{{100, 100}}}}, 1);
  db::DbaseFile::Create(Maps() + "/Water.dbf", {db::MakeDbaseField("HUB1", FieldType::Integer, 9)},
                        {{int64_t(0)}});
  try {
    Run("Water.dbf", 1);
    FAIL();
  } catch (const db::Error& e) {
    EXPECT_TRUE(e.Message.contains("HUB1CODE")) << e.Message.toStdString();
  }
  WritePipes("Water", {{{{100, 100}}}}, 1);
  QFile::remove(Maps() + "/Water.mds");
  EXPECT_THROW(Run("Water.dbf", 1), std::runtime_error);
  EXPECT_EQ(Hubs("Water.dbf")[0], std::make_pair(int64_t(99), int64_t(99)));
}

TEST(DemoTopology, TheRebuiltIndexEqualsTheDemosAndEveryPipeGetsItsNodes) {
  QTemporaryDir dir;
  demo::WriteAtlas(dir.path(), 1, 5);
  RegisterLayerKinds();
  TMapContent map;
  ASSERT_TRUE(
      map.LoadMap(dir.path() + "/BASE", dir.path() + "/MAPS", dir.path(), "", "").isEmpty());
  const QString userObj = dir.path() + "/USER_OBJ";
  auto rows = [&](const QString& table) {
    db::Table t(userObj, table);
    t.Open();
    std::vector<std::vector<Value>> all;
    for (int i = 0; i < t.RecordCount(); ++i) {
      std::vector<Value> row;
      for (size_t f = 0; f < t.FieldDefs().size(); ++f)
        row.push_back(t.ValueAt(i, f));
      all.push_back(row);
    }
    return all;
  };
  const auto spin = rows("SPIN.DB"), own = rows("spinSewerWells.db");
  const TIndexBuildResult built =
      BuildObjectIndex(dir.path() + "/BASE", dir.path() + "/MAPS", userObj, map.World.FullExtent);
  EXPECT_EQ(built.Objects, int(spin.size() + own.size() - 1));
  EXPECT_TRUE(rows("SPIN.DB") == spin) << "the shared table as the demo wrote it";
  EXPECT_TRUE(rows("spinSewerWells.db") == own);
  // Every sewer pipe joins two manholes; the water service pipes of unsurveyed inlets do not.
  TDBPointsIndexs index(dir.path() + "/MAPS", dir.path() + "/BASE", userObj,
                        map.World.FullExtent.XMin, map.World.FullExtent.YMin,
                        map.World.FullExtent.XMax, map.World.FullExtent.YMax);
  const TNetworkHubsResult sewer =
      CalcNetworkHubs(index, map.World, dir.path() + "/MAPS", "Kanaliz.dbf", 100, 2);
  EXPECT_EQ(sewer.EndsNotJoined, 0);
  EXPECT_EQ(sewer.EndsJoined, 2 * sewer.Pipes);
  const TNetworkHubsResult water =
      CalcNetworkHubs(index, map.World, dir.path() + "/MAPS", "Water.dbf", 100, 1);
  EXPECT_GT(water.EndsNotJoined, 10);
  EXPECT_LT(water.EndsNotJoined, water.Pipes / 10);
}
