#pragma once
// "Налаштування мережі": which node groups of the atlas are shut-off valves and which are
// service connections, chosen among the groups of the layers' classification (GroupReest) and
// kept in BASE\NETWORK.INI. Written only at "Зберегти" and only in work mode 0; in the other
// modes the window shows the settings without a way to change them.

#include "network/NetworkSettings.h"

#include <QDialog>

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
  QPushButton* btnSave = nullptr;

private:
  TDataModuleVANDREL& Data;
};
