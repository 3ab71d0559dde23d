#include "ShutOff.h"

#include "base/Csv.h"

#include <QStringList>
#include <algorithm>
#include <deque>
#include <stdexcept>

namespace network {

TShutOff ShutOffPipe(const TNetworkGraph& Graph, const TNetworkSettings& Settings, int64_t PipeCode,
                     const std::set<int64_t>& FailedValveCodes) {
  const TNetworkSource& source = Graph.Source();
  const int start = Graph.PipeOfCode(PipeCode);
  if (start < 0)
    throw std::runtime_error(QString::fromUtf8("Труби %1 немає в таблиці %2")
                                 .arg(PipeCode)
                                 .arg(source.PipesTable)
                                 .toStdString());
  if (!Graph.HasTopology())
    throw std::runtime_error(
        QString::fromUtf8("У таблиці %1 не обчислено вузлів на кінцях труб (HUB1CODE, HUB2CODE): "
                          "спершу виконайте \"Узгодження топологічної моделі\"")
            .arg(source.PipesTable)
            .toStdString());
  // Without valves the walk would run through the whole network and call it the answer.
  const bool anyValve = std::any_of(Graph.Nodes().begin(), Graph.Nodes().end(), [&](const auto& n) {
    return Settings.IsValve(source.Category, source.Class, n.Group);
  });
  if (!anyValve)
    throw std::runtime_error(
        QString::fromUtf8("Жоден вузол таблиці %1 не є засувкою за налаштуваннями мережі "
                          "(BASE\\%2, [Network] Valves=%3): вкажіть групи засувок у "
                          "\"Налаштування мережі\"")
            .arg(source.NodesTable, TNetworkSettings::FileName,
                 TNetworkSettings::Format(Settings.Valves))
            .toStdString());
  TShutOff result;
  result.StartPipe = start;
  std::vector<bool> dry(Graph.Pipes().size(), false), seen(Graph.Nodes().size(), false);
  std::deque<int> pipes{start};
  dry[size_t(start)] = true;
  result.DryPipes.push_back(start);
  while (!pipes.empty()) {
    const TNetworkGraph::Pipe& pipe = Graph.Pipes()[size_t(pipes.front())];
    pipes.pop_front();
    for (const int64_t hub : pipe.Hub) {
      const int node = Graph.NodeOfCode(hub);
      if (node < 0) { // an end without a node ends the walk
        const int index = int(&pipe - Graph.Pipes().data());
        result.OpenEnds.emplace_back(index, &hub == &pipe.Hub[0] ? 0 : 1);
        continue;
      }
      if (seen[size_t(node)]) continue;
      seen[size_t(node)] = true;
      const TNetworkGraph::Node& n = Graph.Nodes()[size_t(node)];
      if (Settings.IsValve(source.Category, source.Class, n.Group)) {
        if (!FailedValveCodes.count(n.Code)) {
          result.Valves.push_back(node);
          continue;
        }
        result.FailedValves.push_back(node);
      }
      if (Settings.IsConnection(source.Category, source.Class, n.Group))
        result.Connections.push_back(node);
      for (const int next : Graph.PipesAt(node))
        if (!dry[size_t(next)]) {
          dry[size_t(next)] = true;
          result.DryPipes.push_back(next);
          pipes.push_back(next);
        }
    }
  }
  return result;
}

void FindLostBuildings(const TNetworkGraph& Graph, const TBuildings& Buildings, TShutOff& Result) {
  Result.Buildings.clear();
  Result.UnplacedConnections.clear();
  std::set<int> listed;
  const auto add = [&](const TWorldPoint& at, int connection, int openEndPipe) {
    const int found = Buildings.BuildingAt(at);
    if (found < 0) return false;
    if (listed.insert(found).second) {
      const TBuildings::Building& b = Buildings.All()[size_t(found)];
      Result.Buildings.push_back({b.Record, b.Code, b.Address, connection, openEndPipe});
    }
    return true;
  };
  for (const int node : Result.Connections) {
    TWorldPoint at;
    if (!Graph.NodePlace(node, at.X, at.Y) || !add(at, node, -1))
      Result.UnplacedConnections.push_back(node);
  }
  for (const auto& [pipe, end] : Result.OpenEnds) {
    TWorldPoint at;
    if (Graph.PipeEnd(pipe, end, at)) add(at, -1, pipe);
  }
}

QString OpenEndNote() {
  return QString::fromUtf8("кінець без вузла: будинки за ним можуть бути не в списку");
}

double DryLength(const TNetworkGraph& Graph, const TShutOff& Result) {
  double length = 0;
  for (const int pipe : Result.DryPipes)
    length += Graph.PipeLength(pipe);
  return length;
}

QStringList ShutOffCsv(const TNetworkGraph& Graph, const TShutOff& Result) {
  QStringList lines;
  for (const int pipe : Result.DryPipes)
    lines << QString("pipe,%1,%2")
                 .arg(Graph.Pipes()[size_t(pipe)].Code)
                 .arg(base::CsvField(Graph.PipeLabel(pipe)));
  for (const int node : Result.Valves)
    lines << QString("valve,%1,%2")
                 .arg(Graph.Nodes()[size_t(node)].Code)
                 .arg(base::CsvField(Graph.NodeLabel(node)));
  for (const int node : Result.Connections)
    lines << QString("connection,%1,%2")
                 .arg(Graph.Nodes()[size_t(node)].Code)
                 .arg(base::CsvField(Graph.NodeAddress(node)));
  for (const auto& [pipe, end] : Result.OpenEnds)
    lines << QString("open-end,%1,%2")
                 .arg(Graph.Pipes()[size_t(pipe)].Code)
                 .arg(base::CsvField(OpenEndNote()));
  for (const TLostBuilding& b : Result.Buildings)
    lines << QString("building,%1,%2").arg(b.Code).arg(base::CsvField(b.Address));
  return lines;
}

} // namespace network
