#pragma once
// Where the program's data lives and whether it may be edited: the work mode and the data root,
// taken from the command line (--work-mode, --data-root), else the environment
// (VANDREL_WORK_MODE, VANDREL_DATA_ROOT), else vandrel.ini beside the program ([Data] WorkMode=,
// Root=). The work mode defaults to 0 (editable data beside the program).

#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>
#include <vector>

namespace platform {

struct CommandLine {
  bool Help = false;
  bool Version = false;
  std::optional<int> WorkMode;
  std::optional<QString> DataRoot;
  bool CalcTopology = false; // --calc-topology: the network topology, without a window
  bool BuildIndex = false;   // --build-index: the object index's grid tables, without a window
  QString Screenshot;        // --screenshot FILE.png: save a picture of the window once the map has
                             // painted, then close
  // --identify X,Y [--scale N]: what lies at the map point (X, Y) in a view of 1 : N (500 when
  // not given), as text, without a window
  std::optional<std::pair<double, double>> IdentifyAt;
  double IdentifyScale = 500;
  // --isolate PIPE [--failed-valves N,M]: shutting off a water pipe, as CSV, without a window
  std::optional<int64_t> IsolatePipe;
  std::vector<int64_t> FailedValves;
  bool CheckNetwork = false; // --check-network: the networks' models checked, without a window
  // --allow-network-sources: layers whose sources are on the network are opened without asking
  bool AllowNetworkSources = false;
  QString Error; // a message for an argument that is not understood
};

// Parses the program's arguments (without the program name).
CommandLine ParseCommandLine(const QStringList& arguments);
QString UsageText();

struct StartupOptions {
  int WorkMode = 0; // 0: editable; other values: read-only data under DataRoot
  QString DataRoot; // empty: the program's directory (work mode 0 only)
};

// Combines the sources in their order of precedence; raises std::runtime_error with a message
// for the user when a value is not usable (a work mode that is not 0 to 255, a non-zero work
// mode without a data root).
StartupOptions ResolveStartupOptions(const CommandLine& line,
                                     const QProcessEnvironment& environment, const QString& appDir);

} // namespace platform
