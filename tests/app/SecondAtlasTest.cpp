// A second atlas opened with --data-root beside a program that keeps an atlas of its own: the
// object index, its rebuild and the network topology work on the opened atlas's own nodes, the
// program's index stays as it was byte for byte, and an index that does not describe the atlas
// is refused before a single pipe row is written.

#include "data/DataModule.h"

#include "AtlasWriter.h"
#include "FolderDigests.h"

#include "db/Table.h"
#include "layers/GeometryFile.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <cmath>
#include <filesystem>
#include <gtest/gtest.h>
#include <map>

namespace {

QByteArray FileBytes(const QString& path) {
  QFile f(path);
  return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

class SecondAtlas : public ::testing::Test {
protected:
  void SetUp() override {
    // The program with the atlas beside it (seed 3), as installed; a second atlas elsewhere.
    demo::WriteAtlas(Program.path(), 1, 3);
    demo::WriteAtlas(Other.path(), 1, 8);
    ASSERT_TRUE(QFile::copy(VANDREL_PROGRAM, Program.filePath("vandrel")));
    ProgramIndex = FolderDigests(Program.filePath("USER_OBJ"));
  }
  // The installed program run as a user runs it; its exit code.
  int Run(const QStringList& args, QString* errors = nullptr) {
    QProcess p;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.remove("VANDREL_DATA_ROOT");
    env.remove("VANDREL_WORK_MODE");
    p.setProcessEnvironment(env);
    p.start(Program.filePath("vandrel"), args);
    if (!p.waitForFinished(300000)) return -1;
    if (errors) *errors = QString::fromUtf8(p.readAllStandardError());
    return p.exitCode();
  }
  // The water wells of an atlas: number and place.
  static std::vector<std::tuple<int64_t, double, double>> Wells(const QString& atlas) {
    db::Table t(atlas + "/MAPS", "WaterWells.db");
    t.Open();
    std::vector<std::tuple<int64_t, double, double>> wells;
    for (t.First(); !t.Eof(); t.Next())
      wells.emplace_back(t.FieldByName("ObjectCode").AsInteger(), t.FieldByName("X").AsFloat(),
                         t.FieldByName("Y").AsFloat());
    return wells;
  }
  // The nearest well within 10 map units in X and in Y, or -1.
  static int64_t Nearest(const std::vector<std::tuple<int64_t, double, double>>& wells,
                         TWorldPoint p) {
    int64_t best = -1;
    double bestDistance = INFINITY;
    for (const auto& [code, x, y] : wells) {
      if (std::abs(x - p.X) > 10 || std::abs(y - p.Y) > 10) continue;
      const double d = std::hypot(x - p.X, y - p.Y);
      if (d < bestDistance) bestDistance = d, best = code;
    }
    return best;
  }

  QTemporaryDir Program, Other;
  std::map<QString, QByteArray> ProgramIndex;
};

} // namespace

TEST_F(SecondAtlas, TheIndexFollowsTheOpenedAtlas) {
  EXPECT_EQ(TDataModuleVANDREL::ObjectIndexDir(Program.path(), Program.path(), 0),
            Program.filePath("USER_OBJ"));
  EXPECT_EQ(TDataModuleVANDREL::ObjectIndexDir(Program.path(), Other.path(), 0),
            Other.filePath("USER_OBJ"));
  // Without an index of its own, an atlas in work mode 0 gets one made in its own folder; a
  // read-only disc without one uses the program's.
  QDir(Other.filePath("USER_OBJ")).removeRecursively();
  EXPECT_EQ(TDataModuleVANDREL::ObjectIndexDir(Program.path(), Other.path(), 0),
            Other.filePath("USER_OBJ"));
  EXPECT_EQ(TDataModuleVANDREL::ObjectIndexDir(Program.path(), Other.path(), 2),
            Program.filePath("USER_OBJ"));
}

TEST_F(SecondAtlas, TopologyAndIndexRebuildUseTheSecondAtlassOwnNodes) {
  QString errors;
  ASSERT_EQ(Run({"--calc-topology", "--data-root", Other.path()}, &errors), 0)
      << errors.toStdString();
  // Every pipe end holds the nearest of the second atlas's own wells, or -1.
  const auto wells = Wells(Other.path());
  TGeometryFile pipes(Other.filePath("MAPS/Water.mds"));
  db::Table water(Other.filePath("MAPS"), "Water.dbf");
  water.Open();
  int ends = 0, joined = 0, wrong = 0;
  TGeometryFile::Record r;
  for (water.First(); !water.Eof() && pipes.Next(r); water.Next()) {
    if (r.ShapeType != 3) continue;
    const TGeometryFile::Parts parts = pipes.ReadParts(r);
    if (parts.NumPoints < 1) continue;
    const int64_t first = Nearest(wells, pipes.PointAt(parts, 0));
    const int64_t last = Nearest(wells, pipes.PointAt(parts, parts.NumPoints - 1));
    wrong += (water.FieldByName("HUB1CODE").AsInteger() != first) +
             (water.FieldByName("HUB2CODE").AsInteger() != last);
    ends += 2;
    joined += (first != -1) + (last != -1);
  }
  EXPECT_GT(ends, 100);
  EXPECT_GT(joined, ends / 2);
  EXPECT_EQ(wrong, 0) << "of " << ends << " pipe ends";
  EXPECT_EQ(FolderDigests(Program.filePath("USER_OBJ")), ProgramIndex);
  // The rebuild writes the second atlas's index, and only it.
  QFile::remove(Other.filePath("USER_OBJ/SPIN.DB"));
  QFile::remove(Other.filePath("USER_OBJ/SPIN.PX"));
  ASSERT_EQ(Run({"--build-index", "--data-root", Other.path()}, &errors), 0)
      << errors.toStdString();
  db::Table spin(Other.filePath("USER_OBJ"), "SPIN.DB");
  spin.Open();
  std::map<int64_t, int> indexed; // well number -> grid records
  for (spin.First(); !spin.Eof(); spin.Next())
    if (spin.FieldByName("Category").AsInteger() == 100 &&
        spin.FieldByName("Class").AsInteger() == 1)
      ++indexed[spin.FieldByName("ObjNum").AsInteger()];
  EXPECT_EQ(indexed.size(), wells.size());
  for (const auto& [code, x, y] : wells)
    EXPECT_EQ(indexed[code], 1) << code;
  EXPECT_EQ(FolderDigests(Program.filePath("USER_OBJ")), ProgramIndex);
}

TEST_F(SecondAtlas, TopologyRefusesAnIndexThatCannotServeTheAtlasAndWritesNothing) {
  const QString water = Other.filePath("MAPS/Water.dbf"),
                sewer = Other.filePath("MAPS/Kanaliz.dbf");
  const QByteArray waterBefore = FileBytes(water), sewerBefore = FileBytes(sewer);
  // The program's index, made for another atlas, in the second atlas's place.
  QDir(Other.filePath("USER_OBJ")).removeRecursively();
  std::filesystem::copy(Program.filePath("USER_OBJ").toStdString(),
                        Other.filePath("USER_OBJ").toStdString());
  QString errors;
  EXPECT_EQ(Run({"--calc-topology", "--data-root", Other.path()}, &errors), 1);
  EXPECT_TRUE(errors.contains("cannot serve this atlas")) << errors.toStdString();
  EXPECT_EQ(FileBytes(water), waterBefore);
  EXPECT_EQ(FileBytes(sewer), sewerBefore);
  // No SPIN.DB at all: the same, instead of -1 written at every end.
  QFile::remove(Other.filePath("USER_OBJ/SPIN.DB"));
  QFile::remove(Other.filePath("USER_OBJ/SPIN.PX"));
  EXPECT_EQ(Run({"--calc-topology", "--data-root", Other.path()}, &errors), 1);
  EXPECT_TRUE(errors.contains("SPIN.DB")) << errors.toStdString();
  EXPECT_EQ(FileBytes(water), waterBefore);
  EXPECT_EQ(FileBytes(sewer), sewerBefore);
}
