#pragma once
// The main window. For now it loads the layers of the atlas from the layers table and lists
// them with their kind, file, extent and whether they could be loaded; the map itself follows.

#include "core/CustomLayer.h"

#include <QMainWindow>
#include <memory>
#include <vector>

class QTableWidget;
class TDataModuleVANDREL;

class TFormMap : public QMainWindow {
public:
  explicit TFormMap(TDataModuleVANDREL& data);
  ~TFormMap() override;

  struct LoadedLayer {
    std::unique_ptr<TCustomLayer> Layer; // null when the row could not be loaded
    QString Error;
  };
  const std::vector<LoadedLayer>& Layers() const { return LoadedLayers; }

  // Reads the layers table again and rebuilds the list.
  void ReloadLayers();

private:
  void FillList();

  TDataModuleVANDREL& Data;
  QTableWidget* List = nullptr;
  std::vector<LoadedLayer> LoadedLayers;
};
