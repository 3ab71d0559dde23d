#include "PanTool.h"

#include "core/FAMap.h"

#include <QPainter>

int TPanTool::Mode() const {
  return TFAMap::ModePan;
}

void TPanTool::Press(int x, int y) {
  AnchorX = x;
  AnchorY = y;
  Map.Arrow.Hide();
  // A drag that goes on from a preview moves what is shown, not the picture before it.
  Snapshot = Map.NeedRedraw ? Map.Screen.copy() : Map.BackBuffer.copy();
}

void TPanTool::Move(int x, int y) {
  if (!Map.Gesture.Dragged || !Map.Gesture.ButtonDown) return;
  Map.DropScreenCanvas();
  Map.Screen.fill(gfx::ToQColor(TFAMap::kBackground)); // the uncovered strips
  QPainter p(&Map.Screen);
  p.drawImage(QPoint(x - AnchorX, y - AnchorY), Snapshot);
  p.end();
  Map.ShowScreen();
}

void TPanTool::Release(int x, int y) {
  Snapshot = QImage();
  TWorld& world = Map.World;
  if (Map.Gesture.Dragged) {
    const double dx = world.ScreenToWorldX(x) - world.ScreenToWorldX(Map.Gesture.StartX),
                 dy = world.ScreenToWorldY(y) - world.ScreenToWorldY(Map.Gesture.StartY);
    const TExtent& v = world.ViewExtent;
    Map.PreviewView({v.XMin - dx, v.YMin - dy, v.XMax - dx, v.YMax - dy});
  } else if (Map.NeedRedraw) {
    Map.SettleLater();
  }
}
