// The network topology on pipe and node tables written for each test, and on the demo atlas;
// the object index rebuilt from the node tables.

#include "ui/network/NetworkTopology.h"

#include "overlays/DBPointsIndexs.h"
#include "overlays/ObjectIndexBuilder.h"

#include "data/DataModule.h"
#include "ui/main/FormMap.h"
#include "ui/main/LabelFile.h"
#include "ui/objects/FormSelectInfo.h"

#include "AtlasWriter.h"
#include "ShapeWriter.h"

#include "base/UserMessages.h"
#include "core/LayerFactory.h"
#include "core/MapContent.h"
#include "db/DbaseFile.h"
#include "db/Error.h"
#include "db/ParadoxFile.h"
#include "db/ParadoxFormat.h"
#include "layers/LayerKinds.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>
#include <filesystem>
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
  EXPECT_TRUE(r.RowsWithoutLine[0].startsWith(QString::fromUtf8("рядок 2:")))
      << r.RowsWithoutLine[0].toStdString();
  EXPECT_EQ(r.RowsWithoutLine[1], QString::fromUtf8("рядок 3: немає запису геометрії"));
}

TEST_F(TopologyTest, ALineWithAVertexThatIsNoNumberIsNamedAndItsRowLeftAsItWas) {
  WriteNodes({{1, 11, 100, 100}, {1, 12, 200, 200}});
  WritePipes("Water", {{{{100, 100}, {std::nan(""), 150}, {200, 200}}}, {{{100, 100}, {200, 200}}}},
             2);
  const TNetworkHubsResult r = Run("Water.dbf", 1);
  const auto hubs = Hubs("Water.dbf");
  EXPECT_EQ(hubs[0], std::make_pair(int64_t(99), int64_t(99))) << "left as it was";
  EXPECT_EQ(hubs[1], std::make_pair(int64_t(11), int64_t(12)));
  ASSERT_EQ(r.RowsWithoutLine.size(), 1);
  EXPECT_TRUE(r.RowsWithoutLine[0].contains(QString::fromUtf8("запис геометрії 1: вершина 2")))
      << r.RowsWithoutLine[0].toStdString();
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

// ---------------------------------------------------------------- the commands of the window

namespace {

QByteArray Bytes(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

class TopologyCommands : public ::testing::Test {
protected:
  void SetUp() override {
    demo::WriteAtlas(Atlas.path(), 1, 8);
    Previous = &base::UserMessages::Current();
    base::UserMessages::Install(&Messages);
  }
  void TearDown() override { base::UserMessages::Install(Previous); }
  QString Water() const { return Atlas.filePath("MAPS/Water.dbf"); }

  QTemporaryDir Program, Atlas;
  base::RecordedMessages Messages;
  base::UserMessages* Previous = nullptr;
};

} // namespace

TEST_F(TopologyCommands, AnIndexOfAnotherAtlasIsRefusedUntilTheIndexIsRebuilt) {
  // The index of another city in this atlas's USER_OBJ.
  QTemporaryDir other;
  demo::WriteAtlas(other.path(), 1, 3);
  QDir(Atlas.filePath("USER_OBJ")).removeRecursively();
  std::filesystem::copy(other.filePath("USER_OBJ").toStdString(),
                        Atlas.filePath("USER_OBJ").toStdString());
  {
    // The model as before any calculation (the demo writes its own): no node at any first end.
    db::Table water(Atlas.filePath("MAPS"), "Water.dbf");
    water.Open();
    for (water.First(); !water.Eof(); water.Next()) {
      water.Edit();
      water.FieldByName("HUB1CODE").SetAsInteger(0);
      water.Post();
    }
  }
  TDataModuleVANDREL data(Program.path(), 0, Atlas.path());
  TFormMap form(data);
  form.resize(1000, 700);
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
  const QByteArray before = Bytes(Water()), sewer = Bytes(Atlas.filePath("MAPS/Kanaliz.dbf"));
  Messages.Shown.clear();
  form.Action("miCalcTopologicalModel")->trigger();
  ASSERT_FALSE(Messages.Shown.isEmpty());
  EXPECT_TRUE(Messages.Shown.last().contains(QString::fromUtf8("не відповідає цьому атласу")))
      << Messages.Shown.last().toStdString();
  EXPECT_EQ(Bytes(Water()), before);
  EXPECT_EQ(Bytes(Atlas.filePath("MAPS/Kanaliz.dbf")), sewer);
  // The rebuild asks first; "no" keeps the index as it is.
  const QByteArray index = Bytes(Atlas.filePath("USER_OBJ/SPIN.DB"));
  Messages.Answer = false;
  form.Action("miRebuildIndex")->trigger();
  EXPECT_EQ(Bytes(Atlas.filePath("USER_OBJ/SPIN.DB")), index);
  Messages.Answer = true;
  form.Action("miRebuildIndex")->trigger();
  EXPECT_NE(Bytes(Atlas.filePath("USER_OBJ/SPIN.DB")), index);
  EXPECT_EQ(Bytes(other.filePath("USER_OBJ/SPIN.DB")), index) << "the other atlas's untouched";
  Messages.Shown.clear();
  form.Action("miCalcTopologicalModel")->trigger();
  ASSERT_FALSE(Messages.Shown.isEmpty());
  EXPECT_FALSE(Messages.Shown.last().contains(QString::fromUtf8("не відповідає")))
      << Messages.Shown.last().toStdString();
  EXPECT_NE(Bytes(Water()), before) << "the model is computed now";
}

TEST_F(TopologyCommands, ARebuildKeepsTheCellHeightAndTheRecordsOfOtherClasses) {
  const QString userObj = Atlas.filePath("USER_OBJ");
  RegisterLayerKinds();
  TMapContent map;
  ASSERT_TRUE(
      map.LoadMap(Atlas.filePath("BASE"), Atlas.filePath("MAPS"), Atlas.path(), "", "").isEmpty());
  const TExtent e = map.World.FullExtent;
  {
    // A cell height of its own, and a record of a class no layer of the atlas indexes.
    db::Table spin(userObj, "SPIN.DB");
    spin.Open();
    spin.First();
    spin.Edit();
    spin.FieldByName("Y").SetAsFloat(125.0);
    spin.Post();
    spin.Append();
    for (const auto& [field, value] :
         std::vector<std::pair<QString, Value>>{{"Nodei", int64_t(3)},
                                                {"Nodej", int64_t(4)},
                                                {"Category", int64_t(7)},
                                                {"Class", int64_t(9)},
                                                {"ObjNum", int64_t(42)},
                                                {"X", e.XMin + 600},
                                                {"Y", e.YMin + 300}})
      spin.FieldByName(field).SetValue(value);
    spin.Post();
  }
  const TIndexBuildResult r =
      BuildObjectIndex(Atlas.filePath("BASE"), Atlas.filePath("MAPS"), userObj, e);
  EXPECT_EQ(r.Kept, 1);
  db::Table spin(userObj, "SPIN.DB");
  spin.Open();
  spin.First();
  const double width = spin.FieldByName("X").AsFloat();
  EXPECT_EQ(spin.FieldByName("Y").AsFloat(), 125.0) << "the cell height kept";
  int kept = 0, wells = 0;
  for (spin.Next(); !spin.Eof(); spin.Next()) {
    if (spin.FieldByName("Category").AsInteger() == 7) {
      ++kept;
      EXPECT_EQ(spin.FieldByName("ObjNum").AsInteger(), 42);
      continue;
    }
    ++wells;
    const double y = spin.FieldByName("Y").AsFloat(), x = spin.FieldByName("X").AsFloat();
    EXPECT_EQ(spin.FieldByName("Nodej").AsInteger(), GridCellNumber(y - e.YMin, 125.0));
    EXPECT_EQ(spin.FieldByName("Nodei").AsInteger(), GridCellNumber(x - e.XMin, width));
  }
  EXPECT_EQ(kept, 1);
  EXPECT_GT(wells, 100);
  // The topology finds its nodes in that grid.
  TDBPointsIndexs index(Atlas.filePath("MAPS"), Atlas.filePath("BASE"), userObj, e.XMin, e.YMin,
                        e.XMax, e.YMax);
  EXPECT_EQ(TopologyIndexProblem(index, Atlas.filePath("BASE"), Atlas.filePath("MAPS")), "");
  const TNetworkHubsResult sewer =
      CalcNetworkHubs(index, map.World, Atlas.filePath("MAPS"), "Kanaliz.dbf", 100, 2);
  EXPECT_EQ(sewer.EndsNotJoined, 0);
}

// Records marked deleted in a .dbf (the first, one in the middle and the last): every other
// object keeps its own row in the topology, the label file and the information window; the
// deleted records are left as they were.
TEST_F(TopologyCommands, DeletedDbaseRecordsLeaveEveryObjectOnItsOwnRow) {
  const QString maps = Atlas.filePath("MAPS");
  RegisterLayerKinds();
  TMapContent map;
  ASSERT_TRUE(map.LoadMap(Atlas.filePath("BASE"), maps, Atlas.path(), "", "").isEmpty());
  const TExtent e = map.World.FullExtent;
  TDBPointsIndexs index(maps, Atlas.filePath("BASE"), Atlas.filePath("USER_OBJ"), e.XMin, e.YMin,
                        e.XMax, e.YMax);
  // The model and the codes of the whole table, by record number.
  CalcNetworkHubs(index, map.World, maps, "Water.dbf", 100, 1);
  struct Pipe {
    int64_t Code, Hub1, Hub2;
  };
  std::vector<Pipe> whole;
  int n = 0;
  {
    db::Table t(maps, "Water.dbf");
    t.Open();
    for (t.First(); !t.Eof(); t.Next())
      whole.push_back({t.FieldByName("OBJECTCODE").AsInteger(),
                       t.FieldByName("HUB1CODE").AsInteger(),
                       t.FieldByName("HUB2CODE").AsInteger()});
    n = t.RecordCount();
    ASSERT_GT(n, 10);
    for (const int position : {n - 1, n / 2, 0}) {
      t.SetRecNo(position + 1);
      t.Delete();
    }
    for (t.First(); !t.Eof(); t.Next()) {
      t.Edit();
      t.FieldByName("HUB1CODE").SetAsInteger(0);
      t.FieldByName("HUB2CODE").SetAsInteger(0);
      t.Post();
    }
  }
  // The bytes of the deleted records, by the header's record layout.
  auto deletedRecords = [&] {
    const QByteArray file = Bytes(maps + "/Water.dbf");
    const auto* h = reinterpret_cast<const unsigned char*>(file.constData());
    const int header = h[8] | h[9] << 8, size = h[10] | h[11] << 8;
    QByteArray records;
    for (const int record : {0, n / 2, n - 1})
      records += file.mid(header + record * size, size);
    return records;
  };
  const QByteArray deleted = deletedRecords();
  ASSERT_TRUE(deleted.startsWith('*'));
  const TNetworkHubsResult r = CalcNetworkHubs(index, map.World, maps, "Water.dbf", 100, 1);
  EXPECT_EQ(r.Pipes, n - 3);
  EXPECT_EQ(r.RecordsWithoutRow,
            (QStringList{"1", QString::number(n / 2 + 1), QString::number(n)}));
  db::Table t(maps, "Water.dbf");
  t.Open();
  ASSERT_EQ(t.RecordCount(), n - 3);
  int wrong = 0;
  for (t.First(); !t.Eof(); t.Next()) {
    const Pipe& own = whole[size_t(t.RecordOfPosition(t.RecNo() - 1))];
    wrong += t.FieldByName("OBJECTCODE").AsInteger() != own.Code ||
             t.FieldByName("HUB1CODE").AsInteger() != own.Hub1 ||
             t.FieldByName("HUB2CODE").AsInteger() != own.Hub2;
  }
  EXPECT_EQ(wrong, 0);
  EXPECT_EQ(deletedRecords(), deleted) << "the deleted records are left alone";
  // The label file: each record's own code, none for the deleted ones.
  const QString labels = Program.filePath("Water.L");
  CreateLabelFile(maps + "/Water.mds", "OBJECTCODE", labels);
  const QByteArray file = Bytes(labels);
  ASSERT_EQ(file.size(), qsizetype(n) * kLabelRecordSize);
  for (int record = 0; record < n; ++record) {
    const QByteArray text =
        file.mid(record * kLabelRecordSize + 1, file[record * kLabelRecordSize]);
    const bool gone = record == 0 || record == n / 2 || record == n - 1;
    EXPECT_EQ(text, gone ? QByteArray() : QByteArray::number(whole[size_t(record)].Code)) << record;
  }
}

TEST_F(TopologyCommands, TheInformationWindowShowsTheRecordsOwnRowPastDeletedOnes) {
  const QString maps = Atlas.filePath("MAPS");
  QStringList names;
  {
    db::Table t(maps, "Geodesy.dbf");
    t.Open();
    for (t.First(); !t.Eof(); t.Next())
      names << t.FieldByName("NAME").AsString();
    const int n = t.RecordCount();
    ASSERT_GT(n, 4);
    for (const int position : {n - 1, n / 2, 0}) {
      t.SetRecNo(position + 1);
      t.Delete();
    }
  }
  TDataModuleVANDREL data(Program.path(), 0, Atlas.path());
  TFormSelectInfo info(data);
  const int n = int(names.size());
  for (const int record : {1, n / 2 + 1, n - 2}) {
    info.ShowInfo(5, 2, record);
    EXPECT_TRUE(info.lblText->text().startsWith(names[record] + " "))
        << record << ": " << info.lblText->text().toStdString();
  }
  info.ShowInfo(5, 2, n / 2); // deleted: nothing of another row is shown
  EXPECT_TRUE(info.lblText->text().startsWith(names[n - 2] + " "));
}

// The demo writes its topology with its pipes: the calculation over it changes no byte of
// either pipes table.
TEST_F(TopologyCommands, TheDemosTopologyIsTheCalculationsOwn) {
  TDataModuleVANDREL data(Program.path(), 0, Atlas.path());
  TFormMap form(data);
  form.resize(900, 600);
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
  const QByteArray water = Bytes(Water()), sewer = Bytes(Atlas.filePath("MAPS/Kanaliz.dbf"));
  Messages.Shown.clear();
  form.Action("miCalcTopologicalModel")->trigger();
  ASSERT_FALSE(Messages.Shown.isEmpty());
  EXPECT_FALSE(Messages.Shown.last().contains(QString::fromUtf8("не відповідає")));
  EXPECT_EQ(Bytes(Water()), water);
  EXPECT_EQ(Bytes(Atlas.filePath("MAPS/Kanaliz.dbf")), sewer);
}
