#pragma once
// What the map shows, apart from any window: the layers built from the layers table, the
// transform, and the drawing of all layers in order. The map control and the headless
// exporter both draw through it, so the window and an exported picture are the same map.

#include "CustomLayer.h"
#include "KeptPictures.h"
#include "MapObjectIndex.h"
#include "World.h"

#include "db/Table.h"

#include <QImage>
#include <QStringList>

#include <functional>
#include <map>
#include <memory>
#include <vector>

class TMapContent {
public:
  TMapContent();
  ~TMapContent();

  // Builds the layers from the layers table of `BaseDir`. A row whose layer cannot be loaded is
  // left out and the load goes on; returns one line per failure (the layer's name, its file
  // and the reason, or why the layers table itself could not be read), or an empty text.
  QString LoadMap(const QString& BaseDir, const QString& MapsDir, const QString& AppDir,
                  const QString& RefDir, const QString& RoutesDir);
  void CloseMap();
  // Destroys the layers, last to first.
  void DestroyLayers();

  // Draws every layer into `canvas` with the transform as it is. A layer whose drawing fails is
  // skipped and reported to `onError` with its index and the reason; `afterLayer` runs after each.
  void DrawLayers(gfx::Canvas& canvas, const std::function<void(int, const QString&)>& onError,
                  const std::function<void()>& afterLayer = {});

  // The same drawing in steps, for a window that goes on between layers. BeginDrawing takes the
  // canvas and a copy of the transform as they are; each DrawNextLayer draws the next layer into
  // the canvas (false when none was left), and Drawing() turns false after the last. A drawing is
  // given up by CancelDrawing, by the next BeginDrawing and when the layers are destroyed or loaded
  // again; the canvas must outlive it.
  void BeginDrawing(gfx::Canvas& canvas, std::function<void(int, const QString&)> onError);
  bool DrawNextLayer();
  void CancelDrawing();
  bool Drawing() const { return bool(Steps); }

  // The layer of this category and class (the layers table's first row of it); null when the
  // map has none.
  TCustomLayer* LayerOf(int Category, int Class) const;
  // The image (symbol) of one object of the layer of this category and class; -1 without one.
  void SetLayerObjectImage(int Category, int Class, int ObjectNumber, int ImageIndex);
  int GetLayerObjectImage(int Category, int Class, int ObjectNumber) const;

  // How the object index of each loaded map is made (set by the main window; none: indexed
  // layers find nothing), and the index of the map loaded.
  TMapObjectIndexFactory ObjectIndexFactory;
  IMapObjectIndex* ObjectIndex() const { return ObjectIndexOfMap.get(); }
  void MakeObjectIndex();
  void ForgetObjectIndex() { ObjectIndexOfMap.reset(); }
  // Why the layer of this category and class failed, at its load or at its last drawing; empty
  // when it did not. Kept until the map is loaded again or the layer draws.
  QString FailureOf(int Category, int Class) const;

  // Whether a drawing keeps pictures for the next drawing of the same view (the map window);
  // Kept.Forget() lets them go when something a signature does not see changed.
  bool KeepPictures = false;
  TKeptPictures Kept;
  // How often each layer (category, class) was drawn, for the tests that count.
  std::map<std::pair<int, int>, int> DrawCounts;

  TWorld World;
  // Threads drawing a layer of many objects, each a run of them: 0 as many as the machine runs
  // at once, 1 one thread for everything (the pictures are the same).
  int Threads = 0;
  std::vector<std::unique_ptr<TCustomLayer>> Layers;

private:
  std::unique_ptr<IMapObjectIndex> ObjectIndexOfMap;
  // The surfaces of the threads' runs, kept from one picture to the next.
  std::vector<QImage> RunSurfaces;
  struct DrawingSteps;
  std::unique_ptr<DrawingSteps> Steps;
  // Builds the layer of the layers table's current row; the failure's text, or empty.
  QString LoadLayer();
  // What each layer is drawn from: its row as loaded, its visibility and scale window now, its
  // files' sizes and times (the maps folder's files of its name), and the atlas's BASE tables but
  // the layers table; a source behind a connection is never taken as unchanged.
  std::vector<QString> LayerSignatures() const;
  QString ViewKey(const gfx::Canvas& canvas) const;
  std::map<const TCustomLayer*, QString> RowSignatures;
  // Notes the failure of the current row's layer; the load's line for it.
  QString LayerFailed(const QString& reason);
  void NoteFailure(int Category, int Class, const QString& Reason);
  std::map<std::pair<int, int>, QString> Failures;
  // The union of the extents of the layers of kinds below 100; `fallback` when there are none.
  TExtent LayersExtent(const TExtent& fallback) const;

public:
  // The load's lines of the layers the user chose to leave out (a network source refused for
  // the atlas): in the load's text for the commands, noted as the layers' failures for the
  // panels, and no box of the window's.
  QStringList Refused;
  TCustomLayer* AddressLayer = nullptr;
  db::Table ClassTable, GroupTable;
  QString BaseDir, MapsDir, AppDir, RefDir, RoutesDir;
};
