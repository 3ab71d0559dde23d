// The network model and its questions on small networks written by the test: shutting off a
// pipe (a ring with two valves, a dead end, a failed valve, a node of three pipes, an end
// without a node), the refusals (a pipe not in the table, a table never through the topology
// calculation), the settings file, the network check; and the demo atlas's shut-off of a main
// against a walk this test makes its own way.

#include "network/NetworkCheck.h"
#include "network/NetworkSettings.h"
#include "network/ShutOff.h"

#include "AtlasWriter.h"
#include "ShapeWriter.h"

#include "db/DbaseFile.h"
#include "db/ParadoxFile.h"
#include "db/ParadoxFormat.h"
#include "db/Table.h"

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <gtest/gtest.h>
#include <map>
#include <set>

using namespace network;
using db::FieldType;
using db::Value;

namespace {

// A water network: nodes at points (code → place, group), pipes between two node codes (-1: an
// end without a node, at a place of its own).
class SmallNetwork {
public:
  void AddNode(int code, double x, double y, int group, const QString& name = {}) {
    Nodes[code] = {x, y, group, name};
  }
  void AddPipe(int code, int from, int to) { Pipes.push_back({code, from, to}); }

  TNetworkSource Write(const QString& dir, bool topology = true) {
    namespace px = db::paradox;
    std::vector<std::vector<Value>> nodeRows;
    for (const auto& [code, n] : Nodes)
      nodeRows.push_back({int64_t(100), int64_t(1), int64_t(code), n.X, n.Y, int64_t(n.Group),
                          n.Name, QString::fromUtf8("вул."), QString::fromUtf8("Садова"),
                          QString::number(code)});
    // A node of another class with a number of this network's: never one of its nodes.
    nodeRows.push_back({int64_t(100), int64_t(2), int64_t(9999), 0.0, 0.0, int64_t(3), QString(),
                        QString(), QString(), QString()});
    db::ParadoxFile::Create(
        dir + "/Wells.db",
        {px::MakeField("Category", FieldType::SmallInt), px::MakeField("Class", FieldType::Integer),
         px::MakeField("ObjectCode", FieldType::Integer), px::MakeField("X", FieldType::Float),
         px::MakeField("Y", FieldType::Float), px::MakeField("NUMGROUP", FieldType::Integer),
         px::MakeField("NAME", FieldType::String, 40), px::MakeField("TYPE", FieldType::String, 20),
         px::MakeField("STREET", FieldType::String, 40),
         px::MakeField("NUMBER", FieldType::String, 10)},
        3, nodeRows);
    demo::ShapeWriter shapes(demo::ShapeType::PolyLine);
    std::vector<std::vector<Value>> pipeRows;
    int loose = 0;
    for (const PipeRow& p : Pipes) {
      const auto place = [&](int node) {
        if (node >= 0) return demo::Point{Nodes[node].X, Nodes[node].Y};
        ++loose;
        return demo::Point{1000.0 + 100 * loose, 1000.0};
      };
      shapes.AddShape({{place(p.From), place(p.To)}});
      pipeRows.push_back({int64_t(p.Code), topology ? Value(int64_t(p.From)) : Value(int64_t(0)),
                          topology ? Value(int64_t(p.To)) : Value(int64_t(0)), int64_t(150),
                          QString::fromUtf8("Садова")});
    }
    shapes.Save(dir + "/Water.mds");
    db::DbaseFile::Create(dir + "/Water.dbf",
                          {db::MakeDbaseField("OBJECTCODE", FieldType::Integer, 10),
                           db::MakeDbaseField("HUB1CODE", FieldType::Integer, 10),
                           db::MakeDbaseField("HUB2CODE", FieldType::Integer, 10),
                           db::MakeDbaseField("DIAMETER", FieldType::Integer, 6),
                           db::MakeDbaseField("STREET", FieldType::String, 40)},
                          pipeRows);
    return {dir, "Water.dbf", "Wells.db", 100, 1};
  }

private:
  struct NodeRow {
    double X = 0, Y = 0;
    int Group = 1;
    QString Name;
  };
  struct PipeRow {
    int Code, From, To;
  };
  std::map<int, NodeRow> Nodes;
  std::vector<PipeRow> Pipes;
};

constexpr int kWell = 1, kValve = 3, kInlet = 4;

TNetworkSettings Settings() {
  TNetworkSettings s;
  s.Valves = {{100, 1, kValve}};
  s.Connections = {{100, 1, kInlet}};
  return s;
}

std::set<int64_t> Codes(const TNetworkGraph& g, const std::vector<int>& items, bool nodes) {
  std::set<int64_t> codes;
  for (int i : items)
    codes.insert(nodes ? g.Nodes()[size_t(i)].Code : g.Pipes()[size_t(i)].Code);
  return codes;
}

//   1 ─10─ 2(valve) ─11─ 3 ─12─ 4 ─13─ 5(valve) ─14─ 6 ─15─ 1     a ring with two valves
//                        │
//                        16                                       3 is shared by three pipes
//                        │
//                        7 ─17─ 8(inlet)                          a dead end to a house
//   4 ─18─ (none)                                                  an end without a node
struct RingNetwork : ::testing::Test {
  void SetUp() override {
    SmallNetwork n;
    n.AddNode(1, 0, 0, kWell);
    n.AddNode(2, 100, 0, kValve, QString::fromUtf8("ЗС-2"));
    n.AddNode(3, 200, 0, kWell);
    n.AddNode(4, 300, 0, kWell);
    n.AddNode(5, 300, 100, kValve, QString::fromUtf8("ЗС-5"));
    n.AddNode(6, 0, 100, kWell);
    n.AddNode(7, 200, -50, kWell);
    n.AddNode(8, 200, -80, kInlet);
    for (auto [code, from, to] : {std::tuple{10, 1, 2},
                                  {11, 2, 3},
                                  {12, 3, 4},
                                  {13, 4, 5},
                                  {14, 5, 6},
                                  {15, 6, 1},
                                  {16, 3, 7},
                                  {17, 7, 8},
                                  {18, 4, -1}})
      n.AddPipe(code, from, to);
    Source = n.Write(Dir.path());
    Graph = TNetworkGraph::Load(Source);
  }
  QTemporaryDir Dir;
  TNetworkSource Source;
  std::unique_ptr<TNetworkGraph> Graph;
};

} // namespace

TEST_F(RingNetwork, ShuttingOffAPipeClosesTheValvesAroundItsPiece) {
  ASSERT_TRUE(Graph->HasTopology());
  EXPECT_EQ(Graph->Nodes().size(), 8u) << "the other class's node is not this network's";
  const TShutOff r = ShutOffPipe(*Graph, Settings(), 12);
  EXPECT_EQ(Codes(*Graph, r.DryPipes, false), (std::set<int64_t>{11, 12, 13, 16, 17, 18}));
  EXPECT_EQ(Codes(*Graph, r.Valves, true), (std::set<int64_t>{2, 5}));
  EXPECT_EQ(Codes(*Graph, r.Connections, true), (std::set<int64_t>{8}));
  EXPECT_TRUE(r.FailedValves.empty());
  // 11, 12, 13: 100 m each; 16: 50; 17: 30; 18 from node 4 to its loose end at (1100, 1000).
  EXPECT_NEAR(DryLength(*Graph, r), 380 + std::hypot(800.0, 1000.0), 1e-6)
      << "the lengths along the geometry";
  // The other side of the ring: 1, 6 and the pipes between the valves.
  const TShutOff other = ShutOffPipe(*Graph, Settings(), 15);
  EXPECT_EQ(Codes(*Graph, other.DryPipes, false), (std::set<int64_t>{10, 14, 15}));
  EXPECT_EQ(Codes(*Graph, other.Valves, true), (std::set<int64_t>{2, 5}));
  EXPECT_TRUE(other.Connections.empty());
}

TEST_F(RingNetwork, AFailedValveIsPassedAndTheWalkGoesOnToTheNextValves) {
  const TShutOff r = ShutOffPipe(*Graph, Settings(), 12, {5});
  EXPECT_EQ(Codes(*Graph, r.Valves, true), (std::set<int64_t>{2}));
  EXPECT_EQ(Codes(*Graph, r.FailedValves, true), (std::set<int64_t>{5}));
  // Through 5 the walk goes round to 2 from the other side: the whole ring is dry.
  EXPECT_EQ(Codes(*Graph, r.DryPipes, false),
            (std::set<int64_t>{11, 12, 13, 14, 15, 10, 16, 17, 18}));
  // Both failed: nothing closes the piece; the walk ends at the ends without a node.
  const TShutOff both = ShutOffPipe(*Graph, Settings(), 12, {2, 5});
  EXPECT_TRUE(both.Valves.empty());
  EXPECT_EQ(both.DryPipes.size(), 9u);
}

TEST_F(RingNetwork, AnEndWithoutANodeEndsTheWalkAndADeadEndIsDryToItsEnd) {
  const TShutOff r = ShutOffPipe(*Graph, Settings(), 17);
  // 17 runs from 7 to the inlet 8; 7 leads to 16 and 3, and on as before.
  EXPECT_EQ(Codes(*Graph, r.DryPipes, false), (std::set<int64_t>{17, 16, 11, 12, 13, 18}));
  EXPECT_EQ(Codes(*Graph, r.Connections, true), (std::set<int64_t>{8}));
  const QStringList csv = ShutOffCsv(*Graph, r);
  EXPECT_TRUE(csv.contains("pipe,17,Садова Ø150")) << csv.join(" | ").toStdString();
  EXPECT_TRUE(csv.contains(QString::fromUtf8("valve,2,\"ЗС-2, вул. Садова, 2\"")))
      << csv.join(" | ").toStdString();
  EXPECT_TRUE(csv.contains(QString::fromUtf8("connection,8,\"вул. Садова, 8\"")));
}

TEST_F(RingNetwork, AMissingPipeOrAModelNeverCalculatedIsRefused) {
  EXPECT_THROW(ShutOffPipe(*Graph, Settings(), 404), std::runtime_error);
  QTemporaryDir other;
  SmallNetwork n;
  n.AddNode(1, 0, 0, kWell);
  n.AddNode(2, 10, 0, kWell);
  n.AddPipe(1, 1, 2);
  const auto graph = TNetworkGraph::Load(n.Write(other.path(), false));
  EXPECT_FALSE(graph->HasTopology());
  try {
    ShutOffPipe(*graph, Settings(), 1);
    FAIL();
  } catch (const std::runtime_error& e) {
    EXPECT_TRUE(QString::fromUtf8(e.what()).contains("HUB1CODE"));
  }
  // Settings that name no valve of the network (a missing NETWORK.INI, another group): refused
  // rather than answering with the whole network.
  for (const char* valves : {"", "100.1.9"}) {
    TNetworkSettings none = Settings();
    ASSERT_TRUE(TNetworkSettings::Parse(valves, none.Valves));
    try {
      ShutOffPipe(*Graph, none, 12);
      ADD_FAILURE() << valves;
    } catch (const std::runtime_error& e) {
      EXPECT_TRUE(QString::fromUtf8(e.what()).contains("не є засувкою")) << e.what();
    }
  }
}

TEST_F(RingNetwork, TheCheckFindsPiecesOpenEndsLonelyNodesCloseNodesAndLoops) {
  QTemporaryDir dir;
  SmallNetwork n;
  n.AddNode(1, 0, 0, kWell);
  n.AddNode(2, 10, 0, kWell);
  n.AddNode(3, 10.004, 0, kWell); // 4 mm from 2
  n.AddNode(4, 50, 50, kWell);    // no pipe reaches it
  n.AddNode(5, 80, 0, kWell);
  n.AddPipe(1, 1, 2);
  n.AddPipe(2, 5, 5);  // its two ends one node
  n.AddPipe(3, 5, -1); // an end without a node
  const auto graph = TNetworkGraph::Load(n.Write(dir.path()));
  const TNetworkCheck check = CheckNetwork(*graph);
  ASSERT_EQ(check.Pieces.size(), 2u);
  EXPECT_EQ(check.Pieces[0].Pipes.size(), 2u) << "pipes 2 and 3 share node 5";
  EXPECT_EQ(check.Pieces[1].Pipes.size(), 1u);
  EXPECT_NEAR(check.Pieces[1].Length, 10, 1e-9);
  ASSERT_EQ(check.OpenEnds.size(), 1u);
  EXPECT_EQ(graph->Pipes()[size_t(check.OpenEnds[0].first)].Code, 3);
  EXPECT_EQ(check.OpenEnds[0].second, 1);
  std::set<int64_t> lonely;
  for (int node : check.LonelyNodes)
    lonely.insert(graph->Nodes()[size_t(node)].Code);
  EXPECT_EQ(lonely, (std::set<int64_t>{3, 4}));
  ASSERT_EQ(check.CloseNodes.size(), 1u);
  EXPECT_EQ(graph->Nodes()[size_t(check.CloseNodes[0].first)].Code, 2);
  ASSERT_EQ(check.Loops.size(), 1u);
  EXPECT_EQ(graph->Pipes()[size_t(check.Loops[0])].Code, 2);
  EXPECT_TRUE(check.DamagedPipes.empty());
}

TEST(NetworkCheck, APipeWithAVertexThatIsNoNumberIsNamedAndLeftOutOfTheLength) {
  QTemporaryDir dir;
  SmallNetwork n;
  n.AddNode(1, 0, 0, kWell);
  n.AddNode(2, 10, 0, kWell);
  n.AddNode(3, std::nan(""), 0, kWell);
  n.AddPipe(1, 1, 2);
  n.AddPipe(2, 2, 3);
  const auto graph = TNetworkGraph::Load(n.Write(dir.path()));
  const TNetworkCheck check = CheckNetwork(*graph);
  ASSERT_EQ(check.DamagedPipes.size(), 1u);
  EXPECT_EQ(graph->Pipes()[size_t(check.DamagedPipes[0])].Code, 2);
  ASSERT_EQ(check.Pieces.size(), 1u);
  EXPECT_DOUBLE_EQ(check.Pieces[0].Length, 10.0);
  EXPECT_TRUE(NetworkCheckCsv(*graph, check)
                  .contains("damaged-geometry,2,record 2: a vertex is not a number"));
}

TEST(NetworkSettings, TheGroupsAreReadWrittenAndAWrongValueNamesItsKey) {
  QTemporaryDir base;
  EXPECT_TRUE(TNetworkSettings::Read(base.path()).Valves.empty()) << "no file: no groups";
  TNetworkSettings s;
  s.Valves = {{100, 1, 3}, {100, 1, 5}};
  s.Connections = {{100, 1, 4}};
  s.Write(base.path());
  const TNetworkSettings back = TNetworkSettings::Read(base.path());
  EXPECT_EQ(back.Valves, s.Valves);
  EXPECT_EQ(back.Connections, s.Connections);
  EXPECT_TRUE(back.IsValve(100, 1, 5));
  EXPECT_FALSE(back.IsValve(100, 2, 5));
  QFile file(base.path() + "/NETWORK.INI");
  ASSERT_TRUE(file.open(QIODevice::WriteOnly));
  file.write("[Network]\r\nValves=100.1\r\n");
  file.close();
  try {
    TNetworkSettings::Read(base.path());
    FAIL();
  } catch (const std::runtime_error& e) {
    EXPECT_TRUE(QString::fromUtf8(e.what()).contains("Valves"));
  }
}

// The demo city: shutting off a main closes a handful of valves, and the result is the walk
// this test makes over the tables themselves (pipes by their end codes, valves by group 3).
TEST(DemoNetwork, AMainShutOffIsAFewValvesAndMatchesAWalkOverTheTables) {
  QTemporaryDir atlas;
  demo::WriteAtlas(atlas.path(), 1, 11);
  const TNetworkSource source =
      SourceOf(atlas.path() + "/BASE", atlas.path() + "/MAPS", kWaterNetwork);
  const auto graph = TNetworkGraph::Load(source);
  const TNetworkSettings settings = TNetworkSettings::Read(atlas.path() + "/BASE");
  ASSERT_EQ(settings.Valves, (std::vector<TNodeGroup>{{100, 1, 3}}));
  // The tables read plainly: pipe → ends, node → group.
  std::map<int64_t, std::pair<int64_t, int64_t>> ends;
  db::Table pipes(atlas.path() + "/MAPS", "Water.dbf");
  pipes.Open();
  for (pipes.First(); !pipes.Eof(); pipes.Next())
    ends[pipes.FieldByName("OBJECTCODE").AsInteger()] = {pipes.FieldByName("HUB1CODE").AsInteger(),
                                                         pipes.FieldByName("HUB2CODE").AsInteger()};
  std::map<int64_t, int64_t> group;
  db::Table wells(atlas.path() + "/MAPS", "WaterWells.db");
  wells.Open();
  for (wells.First(); !wells.Eof(); wells.Next())
    group[wells.FieldByName("ObjectCode").AsInteger()] = wells.FieldByName("NUMGROUP").AsInteger();
  // A main of 150 mm in the middle of the table.
  int64_t main = -1;
  for (pipes.SetRecNo(pipes.RecordCount() / 2); !pipes.Eof() && main < 0; pipes.Next())
    if (pipes.FieldByName("DIAMETER").AsInteger() >= 150)
      main = pipes.FieldByName("OBJECTCODE").AsInteger();
  ASSERT_GE(main, 0);
  // The test's own walk: repeat until nothing changes.
  std::set<int64_t> dry{main}, valves, nodes;
  for (bool grew = true; grew;) {
    grew = false;
    for (const auto& [pipe, e] : ends) {
      if (!dry.count(pipe)) continue;
      for (const int64_t node : {e.first, e.second}) {
        if (node < 0 || !group.count(node) || nodes.count(node)) continue;
        nodes.insert(node);
        grew = true;
        if (group[node] == 3) {
          valves.insert(node);
          continue;
        }
        for (const auto& [other, oe] : ends)
          if (oe.first == node || oe.second == node) dry.insert(other);
      }
    }
  }
  const TShutOff r = ShutOffPipe(*graph, settings, main);
  EXPECT_EQ(Codes(*graph, r.DryPipes, false), dry);
  EXPECT_EQ(Codes(*graph, r.Valves, true), valves);
  EXPECT_GE(r.Valves.size(), 2u);
  EXPECT_LE(r.Valves.size(), 6u) << "a handful, not the whole town";
  EXPECT_LT(r.DryPipes.size(), graph->Pipes().size() / 10);
}

// The buildings that lose water: those of the cut service connections (by the connection's own
// address, as the demo writes it), once each, and the one behind a service pipe whose inlet was
// never surveyed, marked as found past an open end.
TEST(DemoNetwork, TheBuildingsThatLoseWaterAreTheConnectionsHousesAndThoseBehindOpenEnds) {
  QTemporaryDir atlas;
  demo::WriteAtlas(atlas.path(), 1, 11);
  const QString base = atlas.path() + "/BASE", maps = atlas.path() + "/MAPS";
  const auto graph = TNetworkGraph::Load(SourceOf(base, maps, kWaterNetwork));
  const TNetworkSettings settings = TNetworkSettings::Read(base);
  const auto buildings = TBuildings::Load(base, maps, settings);
  // A service pipe from a node to no node.
  int service = -1;
  for (size_t p = 0; p < graph->Pipes().size() && service < 0; ++p)
    if (graph->NodeOfCode(graph->Pipes()[p].Hub[0]) >= 0 && graph->Pipes()[p].Hub[1] < 0)
      service = int(p);
  ASSERT_GE(service, 0);
  TShutOff r = ShutOffPipe(*graph, settings, graph->Pipes()[size_t(service)].Code);
  FindLostBuildings(*graph, *buildings, r);
  EXPECT_NE(std::find(r.OpenEnds.begin(), r.OpenEnds.end(), std::pair{service, 1}),
            r.OpenEnds.end());
  ASSERT_FALSE(r.Connections.empty());
  EXPECT_TRUE(r.UnplacedConnections.empty());
  db::Table wells(maps, "WaterWells.db");
  wells.Open();
  std::set<QString> expected, found, behindOpenEnd;
  for (const int node : r.Connections) {
    wells.SetRecNo(graph->Nodes()[size_t(node)].Row + 1);
    expected.insert(wells.FieldByName("TYPE").AsString() + " " +
                    wells.FieldByName("STREET").AsString() + " " +
                    wells.FieldByName("NUMBER").AsString());
  }
  std::set<int64_t> codes;
  for (const TLostBuilding& b : r.Buildings) {
    EXPECT_TRUE(codes.insert(b.Code).second) << "listed once: " << b.Code;
    (b.Connection >= 0 ? found : behindOpenEnd).insert(b.Address);
  }
  EXPECT_EQ(found, expected);
  ASSERT_EQ(behindOpenEnd.size(), 1u);
  EXPECT_FALSE(expected.count(*behindOpenEnd.begin()));
  EXPECT_EQ(ShutOffCsv(*graph, r).filter(QRegularExpression("^building,\\d+,")).size(),
            int(r.Buildings.size()));
}
