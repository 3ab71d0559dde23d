// The map control's mouse, wheel and keys: the gesture followed, each event handed to the tool
// of the map's mode, then told to the window; the tools' table and the cursor.
#include "FAMap.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <cmath>

namespace {

constexpr int kDragThreshold = 5; // pixels the mouse moves before a press becomes a drag

} // namespace

void TFAMap::AddTool(std::unique_ptr<TMapTool> tool) {
  const int mode = tool->Mode();
  Tools[mode] = std::move(tool);
}

TMapTool* TFAMap::ActiveTool() const {
  const auto found = Tools.find(Mode);
  return found == Tools.end() ? nullptr : found->second.get();
}

void TFAMap::SetMode(int mode) {
  Mode = mode;
  if (const TMapTool* tool = ActiveTool(); tool && tool->Cursor() != TMapTool::kKeepCursor)
    SetCursorNumber(tool->Cursor());
}

void TFAMap::SetCursorNumber(int number) {
  CurrentCursor = number;
  setCursor(TCursors::Get(number));
}

void TFAMap::mousePressEvent(QMouseEvent* e) {
  TMapTool* tool = ActiveTool();
  if (tool && tool->ContinuesPreview() && e->button() == Qt::LeftButton &&
      (Previewing() || DrawingInSteps())) {
    // A drag goes on from the picture shown: the gesture is one until the hand pauses.
    SettleTimer.stop();
    GiveUpDrawing();
    NeedRedraw = true;
  } else {
    Settle(); // a click acts on the view drawn
  }
  const QPoint at = e->position().toPoint();
  if (e->button() == Qt::LeftButton) {
    Gesture.Begin(at.x(), at.y());
    if (tool) tool->Press(at.x(), at.y());
  }
  if (Events.OnMouseDown) Events.OnMouseDown(e);
}

void TFAMap::mouseDoubleClickEvent(QMouseEvent* e) {
  if (e->button() != Qt::LeftButton) return;
  // The second press of a double click is a press too, then the double click itself.
  InDoubleClick = true;
  const QPoint at = e->position().toPoint();
  Gesture.Begin(at.x(), at.y());
  if (TMapTool* tool = ActiveTool()) tool->Press(at.x(), at.y());
  if (Events.OnMouseDown) Events.OnMouseDown(e);
  Gesture.DoubleClicked = true;
  Gesture.Clicked = false;
  if (Events.OnDblClick) Events.OnDblClick();
}

void TFAMap::mouseMoveEvent(QMouseEvent* e) {
  const int x = e->position().toPoint().x(), y = e->position().toPoint().y();
  if (std::abs(x - Gesture.StartX) > kDragThreshold ||
      std::abs(y - Gesture.StartY) > kDragThreshold)
    Gesture.Dragged = Gesture.Dragged || Gesture.ButtonDown;
  if (TMapTool* tool = ActiveTool()) tool->Move(x, y);
  if (Events.OnPointerMoved)
    Events.OnPointerMoved(World.ScreenToWorldX(x), World.ScreenToWorldY(y));
  if (Events.OnMouseMove) Events.OnMouseMove(e);
}

void TFAMap::mouseReleaseEvent(QMouseEvent* e) {
  if (e->button() == Qt::LeftButton) {
    if (!InDoubleClick && rect().contains(e->position().toPoint())) {
      Gesture.Clicked = true;
      Gesture.DoubleClicked = false;
    }
    InDoubleClick = false;
    if (Gesture.ButtonDown) {
      Gesture.ButtonDown = false;
      if (TMapTool* tool = ActiveTool())
        tool->Release(e->position().toPoint().x(), e->position().toPoint().y());
    }
  }
  if (Events.OnMouseUp) Events.OnMouseUp(e);
}

void TFAMap::wheelEvent(QWheelEvent* e) {
  const int notches = e->angleDelta().y() / 120;
  if (notches == 0 || Gesture.ButtonDown) return;
  const double factor = std::pow(2.0, -notches);
  const QPoint at = e->position().toPoint();
  const double wx = World.ScreenToWorldX(at.x()), wy = World.ScreenToWorldY(at.y());
  const TExtent& v = World.VisibleExtent;
  // The point under the pointer stays where it is.
  PreviewView({wx - (wx - v.XMin) * factor, wy - (wy - v.YMin) * factor,
               wx + (v.XMax - wx) * factor, wy + (v.YMax - wy) * factor});
}

void TFAMap::keyPressEvent(QKeyEvent* e) {
  TMapTool* tool = ActiveTool();
  if (tool && tool->Key(*e)) return;
  if (e->key() == Qt::Key_Escape && Gesture.ButtonDown) {
    // Escape ends the rubber band or the pan preview without acting on it.
    Gesture.ButtonDown = false;
    Gesture.Dragged = false;
    if (tool) tool->Abandon();
    Paint();
    return;
  }
  if (e->key() == Qt::Key_Escape && !Selection.empty()) {
    // Escape lets the selection go, and its marks with it.
    ClearSelection();
    Paint();
    return;
  }
  QWidget::keyPressEvent(e);
}

void TFAMap::leaveEvent(QEvent*) {
  if (TMapTool* tool = ActiveTool()) tool->Leave();
}

void TFAMap::enterEvent(QEnterEvent*) {
  if (TMapTool* tool = ActiveTool()) tool->Enter();
}
