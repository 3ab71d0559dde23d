// An atlas in PostgreSQL as the data root, against a real PostgreSQL 15 with PostGIS started by
// each test, beside the same demo atlas as files: the program and its tools give from the
// database what they give from the files (pictures pixel for pixel, what lies at a point, a
// shut-off, the network check, the hydraulic model, the pipes' nodes written by the topology);
// the map window takes in another process's change through the database's notification; a user
// the server lets only read gets the read-only work mode, and the reason.

#include "AtlasWriter.h"
#include "PostgresServer.h"

#include "base/FileError.h"
#include "base/IniFile.h"
#include "base/RemoteFiles.h"
#include "base/UserMessages.h"
#include "core/FAMap.h"
#include "data/DataModule.h"
#include "db/Error.h"
#include "db/Table.h"
#include "layers/LayerKinds.h"
#include "layers/LinesLayer.h"
#include "pg/TableStore.h"
#include "ui/common/GuardedApplication.h"
#include "ui/main/AtlasCommands.h"
#include "ui/main/AtlasWatcher.h"
#include "ui/main/FormMap.h"

#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

namespace {

struct WidgetsEnvironment : ::testing::Environment {
  void SetUp() override {
    static int argc = 1;
    static char name[] = "pg_root_tests";
    static char* argv[] = {name, nullptr};
    if (!QApplication::instance()) App = new TGuardedApplication(argc, argv);
    RegisterLayerKinds();
    base::UserMessages::Install(&Messages);
  }
  void TearDown() override {
    base::UserMessages::Install(nullptr);
    delete App;
  }
  QApplication* App = nullptr;
  base::RecordedMessages Messages;
};
auto* const environment = ::testing::AddGlobalTestEnvironment(new WidgetsEnvironment);

struct TRun {
  int Exit = -1;
  QString Out, Err;
};

TRun RunTool(const QString& program, const QStringList& args) {
  QProcess p;
  p.start(program, args);
  TRun run;
  if (!p.waitForFinished(300000)) return run;
  run.Exit = p.exitCode();
  run.Out = QString::fromUtf8(p.readAllStandardOutput());
  run.Err = QString::fromUtf8(p.readAllStandardError());
  return run;
}

// A dump without its first line (the table's place and kind).
QString Body(const QString& dump) {
  return dump.section('\n', 1);
}

class DatabaseRoot : public ::testing::Test {
protected:
  void SetUp() override {
    pg::RegisterPostgresAtlas();
    ASSERT_TRUE(server.Started()) << server.Log().toStdString();
    demo::WriteAtlas(files.path(), 1, 11);
    const TRun copied = RunTool(VANDREL_ATLAS, {"to-postgres", files.path(), server.Uri()});
    ASSERT_EQ(copied.Exit, 0) << copied.Err.toStdString();
  }
  // The same command on the files and on the database: both succeed with the same output.
  void ExpectSame(const QString& program, const QStringList& args) {
    const TRun fromFiles = RunTool(program, QStringList{"--data-root", files.path()} + args);
    const TRun fromDatabase = RunTool(program, QStringList{"--data-root", server.Uri()} + args);
    EXPECT_EQ(fromFiles.Exit, 0) << fromFiles.Err.toStdString();
    EXPECT_EQ(fromDatabase.Exit, 0) << fromDatabase.Err.toStdString();
    EXPECT_FALSE(fromFiles.Out.isEmpty()) << args.join(' ').toStdString();
    EXPECT_EQ(fromDatabase.Out, fromFiles.Out) << args.join(' ').toStdString();
  }
  TPostgresServer server;
  QTemporaryDir files, program;
};

} // namespace

TEST_F(DatabaseRoot, TheProgramAndItsToolsGiveWhatTheFilesGive) {
  // The whole map and a street's view, drawn pixel for pixel as from the files.
  const QStringList views[] = {{}, {"--extent", "319900,5589900,320200,5590100"}};
  for (const QStringList& view : views) {
    const QString a = files.path() + "/files.png", b = files.path() + "/database.png";
    const QStringList size{"--size", "900x700"};
    ASSERT_EQ(
        RunTool(VANDREL_RENDER, QStringList{"--data-root", files.path(), "-o", a} + size + view)
            .Exit,
        0);
    const TRun drawn =
        RunTool(VANDREL_RENDER, QStringList{"--data-root", server.Uri(), "-o", b} + size + view);
    ASSERT_EQ(drawn.Exit, 0) << drawn.Err.toStdString();
    EXPECT_FALSE(drawn.Err.contains("not drawn")) << drawn.Err.toStdString();
    const QImage fromFiles(a), fromDatabase(b);
    ASSERT_FALSE(fromFiles.isNull());
    EXPECT_EQ(fromDatabase, fromFiles) << view.join(' ').toStdString();
    int ink = 0;
    for (int y = 0; y < fromFiles.height(); y += 4)
      for (int x = 0; x < fromFiles.width(); x += 4)
        ink += fromFiles.pixel(x, y) != qRgb(255, 255, 255);
    EXPECT_GT(ink, 1000) << "the view shows the map";
  }
  // What lies at a water node, a shut-off, the network check, the hydraulic model.
  ExpectSame(VANDREL, {"--identify", "319993.016,5590000.649", "--scale", "500"});
  ExpectSame(VANDREL, {"--isolate", "10"});
  ExpectSame(VANDREL, {"--check-network"});
  const QString inpFiles = files.path() + "/files.inp", inpDatabase = files.path() + "/db.inp";
  ASSERT_EQ(RunTool(VANDREL_EXPORT, {"--data-root", files.path(), "--epanet", inpFiles}).Exit, 0);
  ASSERT_EQ(RunTool(VANDREL_EXPORT, {"--data-root", server.Uri(), "--epanet", inpDatabase}).Exit,
            0);
  QFile f(inpFiles), d(inpDatabase);
  ASSERT_TRUE(f.open(QIODevice::ReadOnly) && d.open(QIODevice::ReadOnly));
  const QString model = QString::fromUtf8(f.readAll()),
                fromDatabase = QString::fromUtf8(d.readAll());
  EXPECT_TRUE(fromDatabase.contains(QString::fromUtf8("atlas — водопровідна мережа")))
      << "the title names the database";
  EXPECT_EQ(fromDatabase.section("[JUNCTIONS]", 1), model.section("[JUNCTIONS]", 1));
  // The topology writes each pipe's nodes into the database as into the files.
  for (const char* table : {"Water", "Kanaliz"})
    server.Sql(QString("UPDATE atlas.\"MAPS/%1.dbf\" SET \"HUB1CODE\" = NULL, \"HUB2CODE\" = NULL")
                   .arg(table));
  ASSERT_EQ(server.Sql("SELECT count(\"HUB1CODE\") FROM atlas.\"MAPS/Water.dbf\""), "0");
  ExpectSame(VANDREL, {"--calc-topology"});
  for (const char* table : {"Water.dbf", "Kanaliz.dbf"})
    EXPECT_EQ(Body(RunTool(VANDREL_TABLES, {"dump", server.Uri() + "#MAPS", table}).Out),
              Body(RunTool(VANDREL_TABLES, {"dump", files.path() + "/MAPS", table}).Out))
        << table;
}

TEST_F(DatabaseRoot, TheWindowTakesInAnotherProcesssChangeFromTheNotification) {
  TDataModuleVANDREL data(program.path(), 0, server.Uri());
  EXPECT_TRUE(data.ReadOnlyReason.isEmpty()) << data.ReadOnlyReason.toStdString();
  TFormMap form(data);
  form.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
  EXPECT_TRUE(form.windowTitle().startsWith("atlas — ")) << form.windowTitle().toStdString();
  TFAMap& map = *form.Map;
  ASSERT_GT(map.Layers.size(), 10u);
  const auto streetsPen = [&] {
    for (const auto& l : map.Layers)
      if (auto* lines = dynamic_cast<const TLinesLayer*>(l.get());
          lines && l->Category == 7 && l->Class == 4)
        return lines->PenColor;
    return -1;
  };
  ASSERT_NE(streetsPen(), 0x0000FF);
  const TRun wrote = RunTool(VANDREL_TABLES, {"sql", data.BaseDir,
                                              "UPDATE classreest SET PenColor = "
                                              "255 WHERE Category = 7 AND Class = 4"});
  ASSERT_EQ(wrote.Exit, 0) << wrote.Err.toStdString();
  QElapsedTimer clock;
  clock.start();
  while (streetsPen() != 0x0000FF && clock.elapsed() < 3000)
    QTest::qWait(20);
  EXPECT_EQ(streetsPen(), 0x0000FF);
  EXPECT_LE(clock.elapsed(), 1000) << "within a second";
  // Another process moves the pumps: their layer is drawn again.
  map.Content.DrawCounts.clear();
  ASSERT_EQ(RunTool(VANDREL_TABLES, {"sql", data.MapsDir, "UPDATE Pumps SET X = X + 40"}).Exit, 0);
  clock.restart();
  while (map.Content.DrawCounts[std::pair(101, 2)] == 0 && clock.elapsed() < 3000)
    QTest::qWait(20);
  EXPECT_GT(map.Content.DrawCounts[std::pair(101, 2)], 0) << "the pumps drawn again";
  // The program's own write is not taken for another user's.
  int taken = 0;
  const auto take = form.AtlasCommands->AtlasWatcher->OnChanged;
  form.AtlasCommands->AtlasWatcher->OnChanged = [&] { return ++taken, take(); };
  {
    db::Table own(data.BaseDir, "classreest");
    own.Open();
    own.Edit();
    own.FieldByName("PenWidth").SetAsFloat(3);
    own.Post();
  }
  QTest::qWait(1200);
  EXPECT_EQ(taken, 0);
  // An INI file of the atlas is written into the database, whole.
  base::IniFile ini(data.BaseDir + "/NETWORK.INI");
  ini.WriteString("Network", "BuildingTolerance", "4");
  ini.Save();
  EXPECT_EQ(base::IniFile(data.BaseDir + "/network.ini")
                .ReadString("Network", "BuildingTolerance", QString()),
            "4");
  EXPECT_EQ(server.Sql("SELECT count(*) FROM atlas.vandrel_files WHERE path ILIKE "
                       "'BASE/NETWORK.INI' AND position('BuildingTolerance=4' in "
                       "convert_from(content, 'WIN1251')) > 0"),
            "1");
}

// The server restarts under an open atlas: the read on the way may fail with the server's
// message, the next one connects again (tables and files alike).
TEST_F(DatabaseRoot, AfterTheServerRestartsTheNextReadConnectsAgain) {
  const QString maps = server.Uri() + "#MAPS";
  db::Table held(maps, "Water.dbf"); // keeps the shared connection
  held.Open();
  ASSERT_TRUE(base::PathExists(maps + "/Buildings.mds"));
  ASSERT_TRUE(server.Restart());
  const auto readsTable = [&] {
    try {
      db::Table pipes(maps, "Kanaliz.dbf");
      pipes.Open();
      return pipes.RecordCount() > 0;
    } catch (const db::Error&) {
      return false;
    }
  };
  const auto readsFile = [&] {
    try {
      return base::ReadWholeFile(maps + "/Buildings.mds").value_or(QByteArray()).size() > 100;
    } catch (const base::FileError&) {
      return false;
    }
  };
  EXPECT_TRUE(readsTable() || readsTable());
  EXPECT_TRUE(readsFile() || readsFile());
}

TEST_F(DatabaseRoot, AUserTheServerLetsOnlyReadGetsTheReadOnlyWorkMode) {
  server.Sql("CREATE ROLE reader LOGIN; GRANT USAGE ON SCHEMA atlas TO reader; "
             "GRANT SELECT ON ALL TABLES IN SCHEMA atlas TO reader");
  QString asReader = server.Uri();
  asReader.replace("user=postgres", "user=reader");
  const QString counted = "SELECT sum(stamp) FROM atlas.vandrel_changes";
  const QString before = server.Sql(counted);
  {
    TDataModuleVANDREL data(program.path(), 0, asReader);
    EXPECT_EQ(data.WorkMode, 1);
    EXPECT_TRUE(data.ReadOnlyReason.contains("reader")) << data.ReadOnlyReason.toStdString();
    TFormMap form(data);
    EXPECT_TRUE(form.windowTitle().contains(QString::fromUtf8("лише читання")));
    EXPECT_FALSE(form.findChild<QAction*>("miCalcTopologicalModel")->isVisible());
    EXPECT_FALSE(form.findChild<QAction*>("imLayers")->isVisible());
  }
  const TRun topology = RunTool(VANDREL, {"--data-root", asReader, "--calc-topology"});
  EXPECT_EQ(topology.Exit, 1);
  EXPECT_TRUE(topology.Err.contains("reader")) << topology.Err.toStdString();
  EXPECT_EQ(server.Sql(counted), before) << "nothing was written";
}
