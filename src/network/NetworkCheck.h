#pragma once
// "Перевірка мережі": what is wrong or worth knowing in a network's model: its connected pieces
// (with their pipes and length), pipe ends without a node, nodes no pipe reaches, two nodes
// closer than 1 cm, and pipes whose two ends are one node.

#include "NetworkGraph.h"

#include <QStringList>
#include <vector>

namespace network {

struct TNetworkCheck {
  struct Piece {
    std::vector<int> Pipes;
    double Length = 0;
  };
  std::vector<Piece> Pieces;                   // largest first
  std::vector<std::pair<int, int>> OpenEnds;   // (pipe, end 0 or 1) without a node
  std::vector<int> LonelyNodes;                // nodes no pipe reaches
  std::vector<std::pair<int, int>> CloseNodes; // nodes closer than 1 cm
  std::vector<int> Loops;                      // pipes whose two ends are one node
  std::vector<int> DamagedPipes; // pipes with a vertex that is not a number: no length counted
};

TNetworkCheck CheckNetwork(const TNetworkGraph& Graph);

// The findings as CSV lines "kind,number,detail" (kinds: piece, open-end, lonely-node,
// close-nodes, loop, damaged-geometry), for scripts (--check-network).
QStringList NetworkCheckCsv(const TNetworkGraph& Graph, const TNetworkCheck& Check);

// One finding for people: its text in Ukrainian ("Відкритий кінець: труба 14, кінцева точка") and
// what it is about on the map (the pipes' geometry records, or the nodes' rows in their table).
struct TCheckFinding {
  QString Text;
  std::vector<int> PipeRecords, NodeRows;
};
std::vector<TCheckFinding> NetworkCheckFindings(const TNetworkGraph& Graph,
                                                const TNetworkCheck& Check);

} // namespace network
