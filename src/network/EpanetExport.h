#pragma once
// The water network as an EPANET 2.2 input file, for the hydraulic engineers' solver: every node
// the pipes reach a junction (its ObjectCode as ID; ground level from the nodes table's field
// the settings name, else interpolated from the survey points' HEIGHT, inverse distance over the
// nearest three; base demand per service connection), every source (pumping station) a
// reservoir whose head is its ground level plus the settings' head, joined by a short pipe to
// the nearest junction, and every pipe with both nodes (length from its geometry, diameter from
// DIAMETER, Hazen-Williams C by material and age). Before anything is written the network is
// checked as the solver would: pipes with an end without a node, with one node at both ends,
// shorter than 0.01 m, without a diameter or a number of their own, and pieces of the network
// no source feeds are left out and said; nodes closer than 1 cm are said.

#include "NetworkGraph.h"
#include "NetworkSettings.h"

#include <QDate>
#include <QStringList>
#include <optional>
#include <set>

namespace network {

struct TEpanetOptions {
  QString Title;                     // the atlas's name
  QDate Date = QDate::currentDate(); // of the title, and the "now" of the pipes' ages
  std::optional<int64_t>
      IsolatePipe; // the shut-off of this pipe applied: pipes at its valves CLOSED
  std::set<int64_t> FailedValves;
};

struct TEpanetModel {
  QByteArray Text; // the .inp file, UTF-8
  int Junctions = 0, Reservoirs = 0, Pipes = 0, ClosedPipes = 0;
  QStringList LeftOut; // what was not written and why, a line each
  QStringList Notes;   // what the model assumes (levels taken as 0, sources joined)
};

// Raises std::runtime_error (or db::Error, base::FileError naming the table or file) when the
// model cannot be made at all: no topology, no source, nothing left to write.
TEpanetModel BuildEpanetModel(const QString& baseDir, const QString& mapsDir,
                              const TNetworkSettings& settings, const TEpanetOptions& options);

} // namespace network
