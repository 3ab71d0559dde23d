#pragma once
// "Налаштування мережі": which node groups of the atlas are shut-off valves, service connections
// and sources (pumping stations), chosen among the groups of the layers' classification
// (GroupReest), and where the buildings that lose water are found (the buildings layer, the
// address points layer and how far from an outline a service pipe may end), kept in
// BASE\NETWORK.INI with its other keys. Written only at "Зберегти" and only in work mode 0; in
// the other modes the window shows the settings without a way to change them.

#include "network/NetworkSettings.h"

#include <QDialog>

class QComboBox;
class QDoubleSpinBox;
class QPushButton;
class QTreeWidget;
class TDataModuleVANDREL;

class TFormNetworkSettings : public QDialog {
public:
  explicit TFormNetworkSettings(TDataModuleVANDREL& data, QWidget* parent = nullptr);

  // The settings as ticked in the window.
  network::TNetworkSettings Chosen() const;
  // Writes them; false, with the reason said, when the file cannot be written.
  bool Save();

  QTreeWidget* tvGroups = nullptr;
  QComboBox *cbBuildings = nullptr, *cbAddresses = nullptr;
  QDoubleSpinBox* edTolerance = nullptr;
  QPushButton* btnSave = nullptr;

private:
  void FillGroups(const network::TNetworkSettings& settings, bool editable);
  void FillLayers(const network::TNetworkSettings& settings);

  TDataModuleVANDREL& Data;
  network::TNetworkSettings AsRead; // as the file had them: keys the window does not show stay
};
