#pragma once
// "Відключення ділянки": what shutting off one pipe of a water network takes. From both ends of
// the pipe the walk goes through every node that is not a valve: a valve ends the walk there
// and is one to close (a valve that will not close is passed through and the walk goes on to the
// next ones), and an end without a node ends it too. Every pipe the walk reaches goes dry; every
// service connection it reaches is cut off. The buildings behind the cut connections, and behind
// the dry pipes' ends without a node, lose water.

#include "Buildings.h"
#include "NetworkGraph.h"
#include "NetworkSettings.h"

#include <set>
#include <vector>

namespace network {

// A building that loses water: reached from a cut service connection, or standing at a dry
// pipe's end without a node (then the walk cannot tell what lies beyond the end).
struct TLostBuilding {
  int Record = -1; // of the buildings layer
  int64_t Code = 0;
  QString Address;
  int Connection = -1;  // node, or -1
  int OpenEndPipe = -1; // pipe, or -1
};

struct TShutOff {
  int StartPipe = -1;
  std::vector<int> DryPipes;                 // indexes into the graph's pipes, in the order reached
  std::vector<int> Valves;                   // nodes: the valves to close
  std::vector<int> FailedValves;             // nodes: valves that would not close, passed through
  std::vector<int> Connections;              // nodes: service connections cut off
  std::vector<std::pair<int, int>> OpenEnds; // (dry pipe, end 0 or 1) without a node
  std::vector<TLostBuilding> Buildings;      // each once, the connections' first
  std::vector<int> UnplacedConnections;      // cut connections with no building near them
};

// Raises std::runtime_error when the pipe number is not in the table or the network has no
// topology.
TShutOff ShutOffPipe(const TNetworkGraph& Graph, const TNetworkSettings& Settings, int64_t PipeCode,
                     const std::set<int64_t>& FailedValveCodes = {});

// Fills the result's buildings: each cut connection's place, and each open end's, inside a
// building's outline or within the tolerance of one.
void FindLostBuildings(const TNetworkGraph& Graph, const TBuildings& Buildings, TShutOff& Result);

// What is said of a dry pipe's end without a node.
QString OpenEndNote();

// The total length of the dry pipes, in map units.
double DryLength(const TNetworkGraph& Graph, const TShutOff& Result);

// The result as CSV lines "kind,number,label": pipes (OBJECTCODE), then valves, then
// connections (ObjectCode), open ends (the pipe's OBJECTCODE) and buildings (their OBJECTCODE
// and address), each label quoted as RFC 4180 wants.
QStringList ShutOffCsv(const TNetworkGraph& Graph, const TShutOff& Result);

} // namespace network
