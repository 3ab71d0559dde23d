// The map control's identify tool: every object under a point, and the blink of one of them;
// the selection set from outside the map (a table window's chosen rows, an object found), and
// showing one object where its layer is drawn.

#include "FAMap.h"

#include <optional>

#include <QPainter>
#include <algorithm>

void TFAMap::SetIdentifyMode() {
  Mode = ModeIdentify;
  SetCursorNumber(0);
}

std::vector<TIdentifiedObject> TFAMap::ObjectsAt(double wx, double wy) {
  // The pick boxes are measured on the screen's canvas, as a pick measures them; nothing is
  // drawn.
  if (!Screen.isNull()) {
    if (!ScreenCanvas) ScreenCanvas = std::make_unique<gfx::Canvas>(Screen);
    return ::ObjectsAt(Layers, *ScreenCanvas, World, wx, wy);
  }
  QImage scratch(1, 1, QImage::Format_RGB32);
  gfx::Canvas canvas(scratch);
  return ::ObjectsAt(Layers, canvas, World, wx, wy);
}

void TFAMap::FlashLayerObject(TCustomLayer& Layer, int RecordIndex) {
  if (RecordIndex < 0 || Screen.isNull()) return;
  if (!ScreenCanvas) ScreenCanvas = std::make_unique<gfx::Canvas>(Screen);
  ScreenCanvas->OnFlush = [this] { ShowScreen(); };
  try {
    Layer.FlashObject(RecordIndex, *ScreenCanvas, World);
  } catch (const std::exception&) {
    // A layer that cannot be read blinks nothing; the list says why.
  }
  ScreenCanvas->OnFlush = nullptr;
  ShowScreen();
}

void TFAMap::SetSelection(std::vector<TSelectedObject> records) {
  Selection.clear();
  for (const TSelectedObject& r : records)
    AddSelection(r);
  if (OnSelectionChanged) OnSelectionChanged();
  if (!Screen.isNull()) Paint();
}

void TFAMap::MarkSelection() {
  if (Selection.empty() || Screen.isNull()) return;
  QPainter painter(&Screen);
  PaintSelectionMarks(painter, DrawSelectionMarks(Content, World, Screen.size(), Selection));
}

void TFAMap::SelectFound(const TCustomLayer& Layer, int RecordIndex) {
  Selection.clear();
  if (RecordIndex >= 0) AddSelection({Layer.Category, Layer.Class, RecordIndex});
  if (OnSelectionChanged) OnSelectionChanged();
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
  SelectFound(Layer, RecordIndex);
  Redraw();
  FlashLayerObject(Layer, RecordIndex);
  return true;
}
