#include "NetworkCheck.h"
#include "Pieces.h"

#include <algorithm>
#include <cmath>
#include <map>

namespace network {

TNetworkCheck CheckNetwork(const TNetworkGraph& Graph) {
  TNetworkCheck check;
  const auto& pipes = Graph.Pipes();
  TPieces pieces(pipes.size()); // two pipes at one node are in one piece
  for (size_t node = 0; node < Graph.Nodes().size(); ++node) {
    const std::vector<int>& at = Graph.PipesAt(int(node));
    if (at.empty()) check.LonelyNodes.push_back(int(node));
    for (size_t k = 1; k < at.size(); ++k)
      pieces.Join(at[0], at[k]);
  }
  std::map<int, size_t> pieceOfRoot;
  const std::vector<double> lengths = Graph.PipeLengths();
  for (size_t p = 0; p < pipes.size(); ++p) {
    for (int end = 0; end < 2; ++end)
      if (Graph.NodeOfCode(pipes[p].Hub[end]) < 0) check.OpenEnds.push_back({int(p), end});
    if (pipes[p].Hub[0] >= 0 && pipes[p].Hub[0] == pipes[p].Hub[1]) check.Loops.push_back(int(p));
    const int root = pieces.Find(int(p));
    const auto [it, added] = pieceOfRoot.emplace(root, check.Pieces.size());
    if (added) check.Pieces.emplace_back();
    TNetworkCheck::Piece& piece = check.Pieces[it->second];
    piece.Pipes.push_back(int(p));
    const double length = lengths[p];
    if (std::isfinite(length))
      piece.Length += length;
    else
      check.DamagedPipes.push_back(int(p)); // named, and left out of the piece's length
  }
  std::stable_sort(check.Pieces.begin(), check.Pieces.end(),
                   [](const auto& a, const auto& b) { return a.Pipes.size() > b.Pipes.size(); });
  // Nodes closer than 1 cm: neighbours in a grid of 1 cm cells.
  std::map<std::pair<int64_t, int64_t>, std::vector<int>> cells;
  const std::vector<TWorldPoint> found = Graph.NodePlaces(); // NaN without a place
  std::vector<std::pair<double, double>> places(Graph.Nodes().size());
  for (size_t n = 0; n < Graph.Nodes().size(); ++n) {
    const double x = found[n].X, y = found[n].Y;
    if (!std::isfinite(x) || !std::isfinite(y)) continue; // a damaged place is no neighbour
    places[n] = {x, y};
    const int64_t cx = int64_t(std::floor(x * 100)), cy = int64_t(std::floor(y * 100));
    for (int64_t dy = -1; dy <= 1; ++dy)
      for (int64_t dx = -1; dx <= 1; ++dx) {
        const auto cell = cells.find({cx + dx, cy + dy});
        if (cell == cells.end()) continue;
        for (const int other : cell->second)
          if (std::hypot(places[size_t(other)].first - x, places[size_t(other)].second - y) < 0.01)
            check.CloseNodes.push_back({other, int(n)});
      }
    cells[{cx, cy}].push_back(int(n));
  }
  return check;
}

QStringList NetworkCheckCsv(const TNetworkGraph& Graph, const TNetworkCheck& Check) {
  QStringList lines;
  const auto pipeCode = [&](int p) { return Graph.Pipes()[size_t(p)].Code; };
  const auto nodeCode = [&](int n) { return Graph.Nodes()[size_t(n)].Code; };
  for (size_t k = 0; k < Check.Pieces.size(); ++k)
    lines << QString("piece,%1,%2 pipes %3 m")
                 .arg(k + 1)
                 .arg(Check.Pieces[k].Pipes.size())
                 .arg(Check.Pieces[k].Length, 0, 'f', 1);
  for (const auto& [pipe, end] : Check.OpenEnds)
    lines << QString("open-end,%1,%2").arg(pipeCode(pipe)).arg(end == 0 ? "first" : "last");
  for (const int node : Check.LonelyNodes)
    lines << QString("lonely-node,%1,").arg(nodeCode(node));
  for (const auto& [a, b] : Check.CloseNodes)
    lines << QString("close-nodes,%1,%2").arg(nodeCode(a)).arg(nodeCode(b));
  for (const int pipe : Check.Loops)
    lines << QString("loop,%1,%2").arg(pipeCode(pipe)).arg(Graph.Pipes()[size_t(pipe)].Hub[0]);
  for (const int pipe : Check.DamagedPipes)
    lines << QString("damaged-geometry,%1,record %2: a vertex is not a number")
                 .arg(pipeCode(pipe))
                 .arg(Graph.Pipes()[size_t(pipe)].Record + 1);
  return lines;
}

std::vector<TCheckFinding> NetworkCheckFindings(const TNetworkGraph& Graph,
                                                const TNetworkCheck& Check) {
  std::vector<TCheckFinding> rows;
  const auto pipeCode = [&](int p) { return Graph.Pipes()[size_t(p)].Code; };
  const auto record = [&](int p) { return Graph.Pipes()[size_t(p)].Record; };
  const auto row = [&](int n) { return Graph.Nodes()[size_t(n)].Row; };
  const auto text = [](const char* utf8) { return QString::fromUtf8(utf8); };
  for (size_t k = 0; k < Check.Pieces.size(); ++k) {
    TCheckFinding& f = rows.emplace_back();
    f.Text = text("Зв'язна частина %1: труб %2, довжина %3 м")
                 .arg(k + 1)
                 .arg(Check.Pieces[k].Pipes.size())
                 .arg(Check.Pieces[k].Length, 0, 'f', 1);
    for (const int pipe : Check.Pieces[k].Pipes)
      f.PipeRecords.push_back(record(pipe));
  }
  for (const auto& [pipe, end] : Check.OpenEnds)
    rows.push_back({text("Відкритий кінець: труба %1, %2")
                        .arg(pipeCode(pipe))
                        .arg(text(end == 0 ? "початкова точка" : "кінцева точка")),
                    {record(pipe)},
                    {}});
  for (const int node : Check.LonelyNodes)
    rows.push_back({text("Вузол без труб: %1").arg(Graph.NodeLabel(node)), {}, {row(node)}});
  for (const auto& [a, b] : Check.CloseNodes)
    rows.push_back({text("Вузли ближче 1 см: %1 і %2")
                        .arg(Graph.Nodes()[size_t(a)].Code)
                        .arg(Graph.Nodes()[size_t(b)].Code),
                    {},
                    {row(a), row(b)}});
  for (const int pipe : Check.Loops)
    rows.push_back({text("Труба %1 починається й закінчується у вузлі %2")
                        .arg(pipeCode(pipe))
                        .arg(Graph.Pipes()[size_t(pipe)].Hub[0]),
                    {record(pipe)},
                    {}});
  for (const int pipe : Check.DamagedPipes)
    rows.push_back({text("Пошкоджена геометрія труби %1 (запис %2): довжину не враховано")
                        .arg(pipeCode(pipe))
                        .arg(record(pipe) + 1),
                    {record(pipe)},
                    {}});
  return rows;
}

} // namespace network
