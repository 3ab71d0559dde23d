#pragma once
// Sources on the network. A layers table travels with its atlas (a contractor's copy, a shared
// folder), so a row naming "/vsicurl/http://...", a WMS description or a database on another
// host would make the program contact that host the moment the atlas opens. Such a source is
// opened only once the user allowed it for that atlas: asked once (the window installs the
// question), the answer kept per atlas in the user's settings; a command without a window opens
// them only when told to (--allow-network-sources).

#include <QString>
#include <functional>

namespace gis {

class TNetworkSources {
public:
  enum class Answer { NotAsked, Allowed, Refused };

  // The host (or address) a source reaches over the network, or empty for a file of this
  // machine, a PostgreSQL connection to this machine (no host, a socket folder, localhost) or
  // one of the user's own connection services. `path` is the file the source names, when it
  // names one: a description file (a VRT, a WMS description) is read for the addresses in it.
  static QString AddressOf(const QString& source, const QString& path);
  // The process's network access as the atlas whose maps folder is `mapsDir` allows it: unless
  // the atlas may open network sources, every connection off this machine is refused at the
  // socket (NetworkGuard); set before a source of the atlas opens, it holds for the reads after.
  static void GuardGdal(const QString& mapsDir);

  // Whether the atlas whose maps folder is `mapsDir` may open its network sources; asks the
  // user (once per atlas, only on the windows' thread) when the question is installed and the
  // atlas was never asked about.
  static bool MayOpen(const QString& mapsDir, const QString& address);
  static Answer AnswerFor(const QString& mapsDir);
  static void Remember(const QString& mapsDir, bool allowed);
  // For this run, every atlas may (the batch commands' --allow-network-sources).
  static void AllowForThisRun();
  // The window's question: the atlas's folder and the first address; true allows.
  static void SetQuestion(std::function<bool(const QString& atlas, const QString& address)> ask);
  // The user's settings file holding the answers.
  static QString SettingsPath();

private:
  static QString AddressInFile(const QString& path, int depth);
  static QString AddressInDescription(const QString& description, const QString& folder, int depth);
};

} // namespace gis
