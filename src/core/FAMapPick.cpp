// The map control's picks: the object under a click on the active layer (and the indexed
// layers' objects), the selection they make, and an object located by its number.

#include "FAMap.h"

#include "base/UserMessages.h"

#include <QApplication>
#include <cmath>

void TFAMap::AddSelection(const TSelectedObject& record) {
  if (!IsSelected(record)) Selection.push_back(record);
}

void TFAMap::PickObject(int x, int y, bool edit) {
  if (ActiveLayer < 0 || ActiveLayer >= int(Layers.size())) return;
  TCustomLayer& layer = *Layers[size_t(ActiveLayer)];
  QApplication::setOverrideCursor(Qt::WaitCursor);
  const double wx = World.ScreenToWorldX(x), wy = World.ScreenToWorldY(y);
  if (layer.IsIndexed) {
    try {
      PickIndexedObject(layer, wx, wy, edit);
    } catch (const std::exception& e) {
      // A grid or user-object table that cannot be searched: said, and nothing is selected.
      base::UserMessages::Current().ShowMessage(QString::fromUtf8("Помилка: ") +
                                                QString::fromStdString(e.what()));
    }
    QApplication::restoreOverrideCursor();
    return;
  }
  const int kind = layer.PrimitiveType;
  const bool flash = edit ? (kind == 102 || kind == 103) : !(kind == 1 || kind == 101);
  if (!ScreenCanvas) ScreenCanvas = std::make_unique<gfx::Canvas>(Screen);
  ScreenCanvas->OnFlush = [this] { ShowScreen(); };
  int index = -1;
  try {
    index = layer.FindObject(*ScreenCanvas, World, wx, wy, true, flash);
  } catch (const std::exception& e) {
    if (OnLayerError) OnLayerError(ActiveLayer, QString::fromStdString(e.what()));
  }
  ScreenCanvas->OnFlush = nullptr;
  QApplication::restoreOverrideCursor();
  if (index < 0) return;
  layer.GetFoundPoint(ArrowX, ArrowY);
  AddSelection({layer.Category, layer.Class, index});
  if (OnSelectionChanged) OnSelectionChanged();
  HideArrow();
  Paint();
  ShowArrow(ArrowX, ArrowY);
  if (!edit) return;
  try {
    layer.ShowObjectCard(layer.GetObjectCode(index));
  } catch (const std::exception& e) {
    // An objects table without ObjectCode: the card cannot be found; the selection stays.
    base::UserMessages::Current().ShowMessage(QString::fromUtf8("Помилка: ") +
                                              QString::fromStdString(e.what()));
  }
}

void TFAMap::PickIndexedObject(TCustomLayer& layer, double wx, double wy, bool edit) {
  IndexCategory = layer.Category;
  IndexClass = layer.Class;
  FoundNumber = -1;
  if (!ObjectIndexOfMap) return;
  int32_t number = -1;
  double x = 0, y = 0;
  // The index may ask the user to choose: the busy cursor is not shown meanwhile.
  QApplication::restoreOverrideCursor();
  const bool found = ObjectIndexOfMap->FindObjectsAt(World, int16_t(IndexCategory), wx, wy,
                                                     IndexClass, number, x, y);
  QApplication::setOverrideCursor(Qt::WaitCursor);
  if (!found) return;
  FoundNumber = number;
  ArrowX = x;
  ArrowY = y;
  int row = -1;
  try {
    row = layer.IndexOfCode(FoundNumber);
  } catch (const std::exception& e) {
    if (OnLayerError) OnLayerError(ActiveLayer, QString::fromStdString(e.what()));
  }
  AddSelection({layer.Category, layer.Class, row});
  if (OnSelectionChanged) OnSelectionChanged();
  HideArrow();
  Paint();
  ShowArrow(ArrowX, ArrowY);
  if (edit) layer.ShowObjectCard(FoundNumber);
}

bool TFAMap::LocateLayerObject(int Category, int Class, int ObjectIndex) {
  TCustomLayer* layer = Content.LayerOf(Category, Class);
  if (!layer) return false;
  const TExtent before = World.ViewExtent;
  bool located = false;
  try {
    located = layer->LocateObject(ObjectIndex, World);
  } catch (const std::exception& e) {
    if (OnLayerError)
      OnLayerError(int(std::find_if(Layers.begin(), Layers.end(),
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
    GiveBoxBothDimensions(box);
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
  SelectFound(*layer, layer->RecordOfLocated(ObjectIndex));
  Paint();
  layer->GetFoundPoint(ArrowX, ArrowY);
  Paint();
  ShowArrow(ArrowX, ArrowY);
  return true;
}

bool TFAMap::IsSelected(const TSelectedObject& record) const {
  return std::find(Selection.begin(), Selection.end(), record) != Selection.end();
}

void TFAMap::ClearSelection() {
  Selection.clear();
  if (OnSelectionChanged) OnSelectionChanged();
}
