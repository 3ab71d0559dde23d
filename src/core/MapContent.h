#pragma once
// What the map shows, apart from any window: the layers built from the layers table, the
// transform, and the drawing of all layers in order. The map control and the headless
// exporter both draw through it, so the window and an exported picture are the same map.

#include "CustomLayer.h"
#include "World.h"

#include "db/Table.h"

#include <functional>
#include <memory>
#include <vector>

class TMapContent {
public:
  TMapContent();
  ~TMapContent();

  // Builds the layers from the layers table of `BaseDir`; returns the reason when loading
  // stopped early (the layers built so far stay), or an empty text.
  QString LoadMap(const QString& BaseDir, const QString& MapsDir, const QString& AppDir,
                  const QString& RefDir, const QString& RoutesDir);
  void CloseMap();
  // Destroys the layers, last to first.
  void DestroyLayers();

  // Draws every layer into `canvas` with the transform as it is. A layer whose drawing fails is
  // skipped and reported to `onError` with its index and the reason; `afterLayer` runs after each.
  void DrawLayers(gfx::Canvas& canvas, const std::function<void(int, const QString&)>& onError,
                  const std::function<void()>& afterLayer = {});

  TWorld World;
  std::vector<std::unique_ptr<TCustomLayer>> Layers;
  TCustomLayer* AddressLayer = nullptr;
  db::Table ClassTable, GroupTable;
  QString BaseDir, MapsDir, AppDir, RefDir, RoutesDir;
};
