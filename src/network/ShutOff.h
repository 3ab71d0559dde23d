#pragma once
// "Відключення ділянки": what shutting off one pipe of a water network takes. From both ends of
// the pipe the walk goes through every node that is not a valve: a valve ends the walk there
// and is one to close (a valve that will not close is passed through and the walk goes on to the
// next ones), and an end without a node ends it too. Every pipe the walk reaches goes dry; every
// service connection it reaches is cut off.

#include "NetworkGraph.h"
#include "NetworkSettings.h"

#include <set>
#include <vector>

namespace network {

struct TShutOff {
  int StartPipe = -1;
  std::vector<int> DryPipes;     // indexes into the graph's pipes, in the order reached
  std::vector<int> Valves;       // nodes: the valves to close
  std::vector<int> FailedValves; // nodes: valves that would not close, passed through
  std::vector<int> Connections;  // nodes: service connections cut off
};

// Raises std::runtime_error when the pipe number is not in the table or the network has no
// topology.
TShutOff ShutOffPipe(const TNetworkGraph& Graph, const TNetworkSettings& Settings, int64_t PipeCode,
                     const std::set<int64_t>& FailedValveCodes = {});

// The total length of the dry pipes, in map units.
double DryLength(const TNetworkGraph& Graph, const TShutOff& Result);

// The result as CSV lines "kind,number,label": pipes (OBJECTCODE), then valves, then
// connections (ObjectCode), each label quoted as RFC 4180 wants.
QStringList ShutOffCsv(const TNetworkGraph& Graph, const TShutOff& Result);

} // namespace network
