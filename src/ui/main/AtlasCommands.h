#pragma once
// The main window and the atlas as a whole: opening another atlas in its place, taking in what
// other users wrote to it (the atlas watcher), exporting it to GeoPackage, printing the map, and
// the user's answer for its sources on the network.

#include "FormMapGroup.h"

#include <QString>
#include <QStringList>
#include <functional>

class TAtlasWatcher;

class TAtlasCommands : public TFormMapGroup {
public:
  TAtlasCommands(TFormMap& form, TDataModuleVANDREL& data);

  // "Експорт атласу в GeoPackage ...": the whole atlas, with progress and cancel.
  void miExportGeoPackageClick();
  bool ExportGeoPackageTo(const QString& path, bool withMeasurements = false);
  // "Друк ...": the print window with its preview.
  void imPrintClick();
  // The layers read again from the layers table, the view kept, and the panels with them; drawn
  // again whole, or only the layers whose rows or files changed.
  void ReloadLayers(bool drawEverything);
  // "Мережеві джерела атласу ...": the user's answer for the atlas's sources on the network,
  // shown and changed; the layers read again when it changes.
  void miNetworkSourcesClick();
  // "Відкрити атлас ...": the program opens the atlas chosen in place of this one.
  void imOpenAtlasClick();
  bool OpenAtlas(const QString& dataRoot);
  // Starts the program with these arguments (tests put in their own); empty: a new process.
  std::function<bool(const QString& program, const QStringList& arguments)> Relaunch;
  // Another user's writes to BASE and MAPS: the tables, the map and the panels read again.
  TAtlasWatcher* AtlasWatcher = nullptr;
  // Takes another user's changes in; false (asked again soon) while the user is in the middle of
  // something (a window open over this one, a button held, a measurement being drawn).
  bool TakeOthersChanges();
};
