#include "ZoomTools.h"

#include "core/FAMap.h"

#include <algorithm>

int TZoomInTool::Mode() const {
  return TFAMap::ModeZoomIn;
}

void TZoomInTool::Press(int, int) {
  Band.Prepare(255);
}

void TZoomInTool::Move(int x, int y) {
  Band.DragBox(x, y);
}

void TZoomInTool::Release(int x, int y) {
  TWorld& world = Map.World;
  const double wx = world.ScreenToWorldX(x), wy = world.ScreenToWorldY(y);
  TExtent& v = world.ViewExtent;
  if (Map.Gesture.Dragged) {
    const double x1 = world.ScreenToWorldX(Map.Gesture.StartX),
                 y1 = world.ScreenToWorldY(Map.Gesture.StartY);
    v = {std::min(x1, wx), std::min(y1, wy), std::max(x1, wx), std::max(y1, wy)};
    TWorld::GiveBoxBothDimensions(v, Map.width(), Map.height());
  } else {
    const double qw = (v.XMax - v.XMin) / 4, qh = (v.YMax - v.YMin) / 4;
    v = {wx - qw, wy - qh, wx + qw, wy + qh};
  }
  Band.End();
  Map.Redraw();
}

int TZoomOutTool::Mode() const {
  return TFAMap::ModeZoomOut;
}

void TZoomOutTool::Release(int x, int y) {
  TWorld& world = Map.World;
  const double wx = world.ScreenToWorldX(x), wy = world.ScreenToWorldY(y);
  TExtent& v = world.ViewExtent;
  const double fw = v.XMax - v.XMin, fh = v.YMax - v.YMin;
  v = {wx - fw, wy - fh, wx + fw, wy + fh};
  Map.Redraw();
}
