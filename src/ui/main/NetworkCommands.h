#pragma once
// The main window's network commands: shutting off a water pipe picked on the map (with the
// buildings that lose water, marked on the map until the marks are taken off), the check of both
// networks' models, the water network's export for the hydraulic solver (EPANET), and the
// network settings.

#include "FormMapGroup.h"

#include "core/SelectionMarks.h"

#include <QString>
#include <memory>
#include <vector>

class TFormShutOff;
namespace network {
class TNetworkGraph;
struct TShutOff;
class TBuildings;
class TNetworkSettings;
} // namespace network

class TNetworkCommands : public TFormMapGroup {
public:
  using TFormMapGroup::TFormMapGroup;
  ~TNetworkCommands() override;

  // The network tools: a shut-off at the pipe picked next, and the network check.
  void miShutOffClick();
  void ShutOffAt(double x, double y);
  void miNetworkCheckClick();
  // The valve and connection groups of the atlas (written in work mode 0 only).
  void miNetworkSettingsClick();
  // The water network's graph, read again when its tables changed since.
  std::shared_ptr<const network::TNetworkGraph> WaterNetwork();
  void MarkShutOff(const network::TNetworkGraph& graph, const network::TShutOff& result);
  // The buildings of the atlas for the shut-off, read again when their files changed; null,
  // with `note` saying why, when the settings name none or they cannot be read.
  std::shared_ptr<const network::TBuildings>
  AtlasBuildings(const network::TNetworkSettings& settings, QString& note);
  // Whether the map's marks are still the shut-off's (nothing picked or found since).
  bool ShutOffMarked() const;
  // "Зняти позначки з карти": the shut-off's marks, or any selection, taken off the map.
  void miClearMarksClick();
  // "Експорт мережі в EPANET ...": the water network as a model for the hydraulic solver (with
  // the shut-off on the map applied, if the user wants it), and a window of what was written.
  void miExportEpanetClick();
  bool ExportEpanetTo(const QString& path, bool withShutOff);
  std::unique_ptr<TFormShutOff> ShutOff; // made at the tool's first pick

private:
  std::shared_ptr<const network::TNetworkGraph> WaterGraph;
  QString WaterGraphStamp; // the tables' sizes and times when WaterGraph was read
  std::shared_ptr<const network::TBuildings> Buildings;
  QString BuildingsStamp;
  std::vector<TSelectedObject> ShutOffMarks; // what the last shut-off marked on the map
};
