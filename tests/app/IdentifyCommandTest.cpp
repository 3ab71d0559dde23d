// `vandrel --identify X,Y`: the program run as scripts run it, at a hydrant on a water main of
// the demo atlas, prints the hydrant first (the nearest point) with every field of its row,
// then the main under it with its row, and nothing from the layers not drawn at that scale.

#include "AtlasWriter.h"

#include "db/Table.h"
#include "network/NetworkGraph.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

// The program's output for these arguments; its exit code in `code`.
QString RunProgram(const QStringList& arguments, int& code) {
  QProcess p;
  QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
  env.insert("QT_QPA_PLATFORM", "offscreen");
  p.setProcessEnvironment(env);
  p.start(VANDREL_PROGRAM, arguments);
  if (!p.waitForFinished(120000)) {
    code = -1;
    return {};
  }
  code = p.exitCode();
  return QString::fromUtf8(p.readAllStandardOutput());
}

// The object lines (not indented) of the output.
QStringList Heads(const QString& output) {
  QStringList heads;
  for (const QString& line : output.split('\n'))
    if (!line.isEmpty() && !line.startsWith(' ')) heads << line;
  return heads;
}

} // namespace

TEST(IdentifyCommand, AtAHydrantOnAMainItListsTheHydrantThenTheMain) {
  QTemporaryDir atlas;
  demo::WriteAtlas(atlas.path(), 1, 5);
  db::Table hydrants(atlas.path() + "/MAPS", "Hydrants.db");
  hydrants.Open();
  hydrants.MoveBy(2);
  const double x = hydrants.FieldByName("X").AsFloat(), y = hydrants.FieldByName("Y").AsFloat();
  const QString code = hydrants.FieldByName("ObjectCode").AsString();
  const QString name = hydrants.FieldByName("NAME").AsString();
  int exit = 0;
  const QString output =
      RunProgram({"--identify", QString("%1,%2").arg(x, 0, 'f', 3).arg(y, 0, 'f', 3), "--data-root",
                  atlas.path()},
                 exit);
  ASSERT_EQ(exit, 0) << output.toStdString();
  const QStringList heads = Heads(output);
  ASSERT_GE(heads.size(), 2) << output.toStdString();
  EXPECT_EQ(heads[0],
            QString::fromUtf8("Пожежні гідранти (Hydrants.db): об'єкт %1 (запис 3)").arg(code));
  EXPECT_TRUE(output.contains("  NAME=" + name + "\n"));
  EXPECT_TRUE(output.contains("  ObjectCode=" + code + "\n"));
  EXPECT_EQ(heads.filter(QString::fromUtf8("Водопровідні мережі (Water.mds): ")).size(), 1)
      << output.toStdString();
  EXPECT_TRUE(output.contains("  DIAMETER=")) << "the main's row follows it";
  // At 1 : 50,000 the hydrants and the pipes are not drawn: nothing of them is listed.
  const QString far =
      RunProgram({"--identify", QString("%1,%2").arg(x, 0, 'f', 3).arg(y, 0, 'f', 3), "--scale",
                  "50000", "--data-root", atlas.path()},
                 exit);
  EXPECT_EQ(exit, 0);
  EXPECT_FALSE(far.contains("Hydrants.db")) << far.toStdString();
  EXPECT_FALSE(far.contains("Water.mds")) << far.toStdString();
  // A data root that is no atlas: a message and exit 1.
  RunProgram({"--identify", "1,2", "--data-root", atlas.path() + "/none"}, exit);
  EXPECT_EQ(exit, 1);
  // The mains' table gone: the hydrant is still told, and the exit code says the answer lacks
  // a layer.
  ASSERT_TRUE(QFile::rename(atlas.path() + "/MAPS/Water.dbf", atlas.path() + "/MAPS/Water.old"));
  const QString partial =
      RunProgram({"--identify", QString("%1,%2").arg(x, 0, 'f', 3).arg(y, 0, 'f', 3), "--data-root",
                  atlas.path()},
                 exit);
  EXPECT_EQ(exit, 1);
  EXPECT_TRUE(partial.contains("  NAME=" + name + "\n")) << partial.toStdString();
}

// At a water well where three pipes end, every one of them is listed (with the well).
TEST(IdentifyCommand, AtANodeWhereThreePipesEndAllThreeAreListed) {
  QTemporaryDir atlas;
  demo::WriteAtlas(atlas.path(), 1, 5);
  const auto graph = network::TNetworkGraph::Load(
      network::SourceOf(atlas.path() + "/BASE", atlas.path() + "/MAPS", network::kWaterNetwork));
  int node = -1;
  for (int n = 0; n < int(graph->Nodes().size()) && node < 0; ++n)
    if (graph->PipesAt(n).size() == 3) node = n;
  ASSERT_GE(node, 0);
  double x = 0, y = 0;
  ASSERT_TRUE(graph->NodePlace(node, x, y));
  int exit = 0;
  const QString output =
      RunProgram({"--identify", QString("%1,%2").arg(x, 0, 'f', 3).arg(y, 0, 'f', 3), "--data-root",
                  atlas.path()},
                 exit);
  ASSERT_EQ(exit, 0) << output.toStdString();
  const QStringList pipes = Heads(output).filter(QString::fromUtf8("(Water.mds): об'єкт "));
  QStringList expected;
  for (const int pipe : graph->PipesAt(node))
    expected << QString::fromUtf8("(Water.mds): об'єкт %1 ").arg(graph->Pipes()[size_t(pipe)].Code);
  ASSERT_EQ(pipes.size(), 3) << output.toStdString();
  for (const QString& e : expected)
    EXPECT_EQ(pipes.filter(e).size(), 1) << e.toStdString() << "\n" << output.toStdString();
}

// `vandrel --isolate PIPE` prints the shut-off as CSV lines, the failed valves widen it, and a
// pipe not in the table or a model never calculated ends with a message and exit 1.
TEST(NetworkCommands, IsolatePrintsTheShutOffAndRefusesWhatItCannotAnswer) {
  QTemporaryDir atlas;
  demo::WriteAtlas(atlas.path(), 1, 5);
  int exit = 0;
  const QString out = RunProgram({"--isolate", "20", "--data-root", atlas.path()}, exit);
  ASSERT_EQ(exit, 0) << out.toStdString();
  QStringList valves;
  int pipes = 0;
  for (const QString& line : out.split('\n', Qt::SkipEmptyParts)) {
    const QString kind = line.section(',', 0, 0);
    EXPECT_TRUE(kind == "pipe" || kind == "valve" || kind == "connection" || kind == "open-end" ||
                kind == "building")
        << line.toStdString();
    pipes += kind == "pipe";
    if (kind == "valve") valves << line.section(',', 1, 1);
  }
  EXPECT_TRUE(out.startsWith("pipe,20,")) << "the pipe itself first";
  EXPECT_GE(out.count("\nbuilding,"), out.count("\nconnection,")) << "a building per connection";
  ASSERT_GE(valves.size(), 1);
  // The first valve will not close: more pipes go dry, and it is no longer one to close.
  const QString wider = RunProgram(
      {"--isolate", "20", "--failed-valves", valves[0], "--data-root", atlas.path()}, exit);
  ASSERT_EQ(exit, 0);
  EXPECT_GT(wider.count("pipe,"), pipes);
  EXPECT_FALSE(wider.contains("valve," + valves[0] + ","));
  // A pipe that is not there.
  RunProgram({"--isolate", "999999", "--data-root", atlas.path()}, exit);
  EXPECT_EQ(exit, 1);
  // A model never through the topology calculation.
  {
    db::Table water(atlas.path() + "/MAPS", "Water.dbf");
    water.Open();
    for (water.First(); !water.Eof(); water.Next()) {
      water.Edit();
      water.FieldByName("HUB1CODE").SetAsInteger(0);
      water.FieldByName("HUB2CODE").SetAsInteger(0);
      water.Post();
    }
  }
  RunProgram({"--isolate", "20", "--data-root", atlas.path()}, exit);
  EXPECT_EQ(exit, 1);
  // The check of both networks.
  const QString check = RunProgram({"--check-network", "--data-root", atlas.path()}, exit);
  EXPECT_EQ(exit, 0);
  EXPECT_TRUE(check.contains("# Water.dbf") && check.contains("# Kanaliz.dbf"));
}
