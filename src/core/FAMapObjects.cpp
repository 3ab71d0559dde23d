// The map control's objects: every object under a point and the blink of one of them, the
// selection, and showing objects (located by number, records of a layer) where their layer is
// drawn, with the arrow pointing at them.

#include "FAMap.h"

#include <optional>

#include <QPainter>
#include <algorithm>
#include <cmath>

namespace {

// Makes one record of a layer the selection (none for -1), told to the window; drawn later.
void SelectOnly(TFAMap& map, const TCustomLayer& layer, int record) {
  map.Selection.clear();
  if (record >= 0) map.AddToSelection({layer.Category, layer.Class, record});
  if (map.Events.OnSelectionChanged) map.Events.OnSelectionChanged();
}

} // namespace

std::vector<TIdentifiedObject> TFAMap::ObjectsAt(double wx, double wy) {
  // The pick boxes are measured on the screen's canvas, as a pick measures them; nothing is
  // drawn.
  if (!Screen.isNull()) return ::ObjectsAt(Layers, ScreenCanvas(), World, wx, wy);
  QImage scratch(1, 1, QImage::Format_RGB32);
  gfx::Canvas canvas(scratch);
  return ::ObjectsAt(Layers, canvas, World, wx, wy);
}

void TFAMap::FlashLayerObject(TCustomLayer& Layer, int RecordIndex) {
  if (RecordIndex < 0 || Screen.isNull()) return;
  try {
    Layer.FlashObject(RecordIndex, ScreenCanvas(true), World);
  } catch (const std::exception&) {
    // A layer that cannot be read blinks nothing; the list says why.
  }
  ScreenCanvas(false);
  ShowScreen();
}

void TFAMap::SetSelection(std::vector<TSelectedObject> records) {
  Selection.clear();
  for (const TSelectedObject& r : records)
    AddToSelection(r);
  if (Events.OnSelectionChanged) Events.OnSelectionChanged();
  if (!Screen.isNull()) Paint();
}

void TFAMap::AddToSelection(const TSelectedObject& record) {
  if (!IsSelected(record)) Selection.push_back(record);
}

bool TFAMap::IsSelected(const TSelectedObject& record) const {
  return std::find(Selection.begin(), Selection.end(), record) != Selection.end();
}

void TFAMap::ClearSelection() {
  Selection.clear();
  if (Events.OnSelectionChanged) Events.OnSelectionChanged();
}

void TFAMap::BringLayerIntoScale(TCustomLayer& Layer) {
  const double scale = World.Scale;
  double wanted = scale;
  if (Layer.ZoomInScale != 0 && Layer.ZoomInScale > scale) wanted = Layer.ZoomInScale * 1.05;
  if (Layer.ZoomOutScale != 0 && Layer.ZoomOutScale < scale) wanted = Layer.ZoomOutScale * 0.95;
  if (wanted == scale || !(wanted > 0)) return;
  const double halfWidth = std::max(1, width()) / wanted / 2,
               halfHeight = std::max(1, height()) / wanted / 2;
  const double x = Layer.FoundX, y = Layer.FoundY;
  World.ViewExtent = {x - halfWidth, y - halfHeight, x + halfWidth, y + halfHeight};
  World.SetView(std::max(1, width()), std::max(1, height()), World.ViewExtent.XMin,
                World.ViewExtent.YMin, World.ViewExtent.XMax, World.ViewExtent.YMax);
  NeedRedraw = true;
}

bool TFAMap::ShowLayerRecords(TCustomLayer& Layer, const std::vector<int>& RecordIndexes) {
  if (RecordIndexes.size() == 1) return ShowLayerRecord(Layer, RecordIndexes.front());
  std::optional<TExtent> all;
  for (const int record : RecordIndexes) {
    TExtent box{};
    if (record < 0 || !Layer.RecordBox(record, box)) continue;
    if (!all) all = box;
    all = TExtent{std::min(all->XMin, box.XMin), std::min(all->YMin, box.YMin),
                  std::max(all->XMax, box.XMax), std::max(all->YMax, box.YMax)};
  }
  if (!all) return false;
  // A margin of a tenth about the objects, and never closer than some 60 m across.
  const double cx = (all->XMin + all->XMax) / 2, cy = (all->YMin + all->YMax) / 2;
  const double halfWidth = std::max(30.0, (all->XMax - all->XMin) * 0.6);
  const double halfHeight = std::max(30.0, (all->YMax - all->YMin) * 0.6);
  World.ViewExtent = {cx - halfWidth, cy - halfHeight, cx + halfWidth, cy + halfHeight};
  World.SetView(std::max(1, width()), std::max(1, height()), World.ViewExtent.XMin,
                World.ViewExtent.YMin, World.ViewExtent.XMax, World.ViewExtent.YMax);
  const double foundX = Layer.FoundX, foundY = Layer.FoundY;
  Layer.FoundX = cx;
  Layer.FoundY = cy;
  BringLayerIntoScale(Layer); // a box too large for the layer's scale window: as far as it allows
  Layer.FoundX = foundX;
  Layer.FoundY = foundY;
  std::vector<TSelectedObject> chosen;
  for (const int record : RecordIndexes)
    if (record >= 0) chosen.push_back({Layer.Category, Layer.Class, record});
  SetSelection(std::move(chosen));
  Redraw();
  return true;
}

bool TFAMap::ShowLayerRecord(TCustomLayer& Layer, int RecordIndex) {
  if (RecordIndex < 0 || !Layer.LocateRecord(RecordIndex, World)) return false;
  BringLayerIntoScale(Layer);
  SelectOnly(*this, Layer, RecordIndex);
  Redraw();
  FlashLayerObject(Layer, RecordIndex);
  return true;
}

bool TFAMap::LocateLayerObject(int Category, int Class, int ObjectIndex) {
  TCustomLayer* layer = Content.LayerOf(Category, Class);
  if (!layer) return false;
  const TExtent before = World.ViewExtent;
  bool located = false;
  try {
    located = layer->LocateObject(ObjectIndex, World);
  } catch (const std::exception& e) {
    if (Events.OnLayerError)
      Events.OnLayerError(int(std::find_if(Layers.begin(), Layers.end(),
                                           [&](const auto& l) { return l.get() == layer; }) -
                              Layers.begin()),
                          QString::fromStdString(e.what()));
  }
  if (!located) return false;
  const TExtent& v = World.ViewExtent;
  const bool moved = std::fabs(v.XMin - before.XMin) > 1 || std::fabs(v.YMin - before.YMin) > 1 ||
                     std::fabs(v.XMax - before.XMax) > 1 || std::fabs(v.YMax - before.YMax) > 1;
  if (moved) {
    // A straight pipe's box has no width or no height: it takes the other side as a dragged
    // zoom box does, instead of being fitted by its empty side (the widest zoom).
    TExtent& box = World.ViewExtent;
    if (box.XMax - box.XMin <= 0 && box.YMax - box.YMin <= 0) box.XMin -= 10, box.XMax += 10;
    TWorld::GiveBoxBothDimensions(box, width(), height());
    const int w = std::max(1, width()), h = std::max(1, height());
    auto apply = [&] { World.SetView(w, h, v.XMin, v.YMin, v.XMax, v.YMax); };
    // Halves or doubles the view about its centre, whole world units at the corners; false when
    // the scale did not change (a map a few pixels wide cannot reach every scale).
    auto step = [&](double factor) {
      const double scale = World.Scale;
      const double cx = (v.XMin + v.XMax) / 2, cy = (v.YMin + v.YMax) / 2;
      const double hw = std::trunc((v.XMax - v.XMin) * factor / 2),
                   hh = std::trunc((v.YMax - v.YMin) * factor / 2);
      World.ViewExtent = {cx - std::max(hw, 0.5), cy - std::max(hh, 0.5), cx + std::max(hw, 0.5),
                          cy + std::max(hh, 0.5)};
      apply();
      return World.Scale != scale;
    };
    apply();
    // At most as many steps as halve or double any view to the scale bounds.
    constexpr int kMostSteps = 128;
    for (int i = 0; i < kMostSteps && layer->ZoomInScale != 0 &&
                    layer->ZoomInScale >= World.Scale && World.Scale < TWorld::MaxScale;
         ++i)
      if (!step(0.5)) break;
    for (int i = 0; i < kMostSteps && layer->ZoomOutScale != 0 &&
                    layer->ZoomOutScale <= World.Scale && World.Scale > TWorld::MinScale;
         ++i)
      if (!step(2)) break;
    NeedRedraw = true;
  } else if (!layer->ScaleAllowsDrawing(World.Scale)) {
    // Already in view but not drawn at this scale: the arrow would point at nothing.
    BringLayerIntoScale(*layer);
  }
  SelectOnly(*this, *layer, layer->RecordOfLocated(ObjectIndex));
  Paint();
  double foundX = 0, foundY = 0;
  layer->GetFoundPoint(foundX, foundY);
  Paint();
  Arrow.Show(foundX, foundY);
  return true;
}
