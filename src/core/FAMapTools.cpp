// The map control's tool modes: the cursor of each, the rubber band, the mouse's presses, drags
// and releases (zoom by click or box, pan, pick, measure), the wheel and the keys.
#include "FAMap.h"

#include <QApplication>
#include <QCursor>
#include <QMouseEvent>
#include <QPainter>
#include <cmath>

namespace {

constexpr int kDragThreshold = 5; // pixels the mouse moves before a press becomes a drag

} // namespace

void TFAMap::SetCursorNumber(int number) {
  CurrentCursor = number;
  setCursor(TCursors::Get(number));
}

void TFAMap::SetInfoMode() {
  Mode = ModeInfo;
  SetCursorNumber(0);
}
void TFAMap::SetEditMode() {
  Mode = ModeEdit;
  SetCursorNumber(0);
}
void TFAMap::SetZoomInMode() {
  Mode = ModeZoomIn;
  SetCursorNumber(1001);
}
void TFAMap::SetZoomOutMode() {
  Mode = ModeZoomOut;
  SetCursorNumber(1002);
}
void TFAMap::SetPanMode() {
  Mode = ModePan;
  SetCursorNumber(1003);
}
void TFAMap::SetDeleteMeasureMode() {
  Mode = ModeDeleteMeasure;
}

void TFAMap::ShowWholeMap() {
  World.ViewExtent = World.FullExtent;
  Redraw();
}

void TFAMap::PrepareRubberBand(uint32_t colour) {
  if (!ScreenCanvas) ScreenCanvas = std::make_unique<gfx::Canvas>(Screen);
  SavedPenStyle = ScreenCanvas->Pen.Style;
  ScreenCanvas->Pen.Mode = gfx::PenMode::NotXor;
  ScreenCanvas->Pen.Style = 0;
  ScreenCanvas->Pen.Color = colour;
  ScreenCanvas->Pen.Width = 1;
  ScreenCanvas->Brush.Style = 1;
  RubberBandShown = false;
}

void TFAMap::RubberBand(int x1, int y1, int x2, int y2) {
  if (!ScreenCanvas) return;
  // The rectangle's outline, both corners included, drawn not-xor so that a second drawing erases
  // it.
  ScreenCanvas->Rectangle(std::min(x1, x2), std::min(y1, y2), std::max(x1, x2) + 1,
                          std::max(y1, y2) + 1);
}

void TFAMap::EndRubberBand() {
  if (ScreenCanvas) {
    ScreenCanvas->Pen.Style = SavedPenStyle;
    ScreenCanvas->Pen.Mode = gfx::PenMode::Copy;
  }
  RubberBandShown = false;
}

void TFAMap::mousePressEvent(QMouseEvent* e) {
  if (Mode == ModePan && e->button() == Qt::LeftButton && (Previewing() || DrawingInSteps())) {
    // A drag goes on from the picture shown: the pan is one gesture until the hand pauses.
    SettleTimer.stop();
    GiveUpDrawing();
    NeedRedraw = true;
  } else {
    Settle(); // a click acts on the view drawn
  }
  if (e->button() == Qt::LeftButton)
    Press(e->position().toPoint().x(), e->position().toPoint().y());
  if (OnMouseDown) OnMouseDown(e);
}

void TFAMap::mouseDoubleClickEvent(QMouseEvent* e) {
  if (e->button() != Qt::LeftButton) return;
  // The second press of a double click is a press too, then the double click itself.
  InDoubleClick = true;
  Press(e->position().toPoint().x(), e->position().toPoint().y());
  if (OnMouseDown) OnMouseDown(e);
  DoubleClicked = true;
  Clicked = false;
  if (OnDblClick) OnDblClick();
}

void TFAMap::Press(int x, int y) {
  MouseIsDown = true;
  Dragged = false;
  StartX = LastX = PanAnchorX = x;
  StartY = LastY = PanAnchorY = y;
  switch (Mode) {
  case ModeInfo:
  case ModeEdit:
    PrepareRubberBand(32768);
    break;
  case ModeZoomIn:
    PrepareRubberBand(255);
    break;
  case ModePan:
    HideArrow();
    PanSnapshot = NeedRedraw ? Screen.copy() : BackBuffer.copy();
    PanSourceRect = rect();
    break;
  case ModeMeasure:
    if (MeasurementLayer) {
      MeasurementLayer->AddPoint(World, World.ScreenToWorldX(x), World.ScreenToWorldY(y));
      {
        gfx::Canvas back(BackBuffer);
        MeasurementLayer->DrawCurrent(back, World);
      }
      ScreenCanvas.reset();
      Screen = BackBuffer.copy();
      if (ArrowVisible) ShowArrow(ArrowX, ArrowY);
      ShowScreen();
      ShowPathLengths();
    }
    PrepareRubberBand(255);
    break;
  default:
    break;
  }
}

void TFAMap::mouseMoveEvent(QMouseEvent* e) {
  const int x = e->position().toPoint().x(), y = e->position().toPoint().y();
  if (std::abs(x - StartX) > kDragThreshold || std::abs(y - StartY) > kDragThreshold)
    Dragged = Dragged || MouseIsDown;
  switch (Mode) {
  case ModeInfo:
  case ModeZoomIn:
  case ModeEdit:
    if (MouseIsDown && Dragged) {
      if (RubberBandShown) RubberBand(StartX, StartY, LastX, LastY);
      RubberBand(StartX, StartY, x, y);
      RubberBandShown = true;
      LastX = x;
      LastY = y;
      ShowScreen();
    }
    break;
  case ModeMeasure:
    MeasureMove(x, y);
    break;
  case ModePan:
    if (Dragged && MouseIsDown) {
      const int dx = x - PanAnchorX, dy = y - PanAnchorY;
      PanDestRect = rect().translated(dx, dy);
      ScreenCanvas.reset();
      Screen.fill(gfx::ToQColor(kBackground)); // the uncovered strips
      QPainter p(&Screen);
      p.drawImage(PanDestRect.topLeft(), PanSnapshot);
      p.end();
      ShowScreen();
    }
    break;
  default:
    break;
  }
  if (OnPointerMoved) OnPointerMoved(World.ScreenToWorldX(x), World.ScreenToWorldY(y));
  if (OnMouseMove) OnMouseMove(e);
}

void TFAMap::mouseReleaseEvent(QMouseEvent* e) {
  if (e->button() == Qt::LeftButton) {
    if (!InDoubleClick && rect().contains(e->position().toPoint())) Click();
    InDoubleClick = false;
    Release(e->position().toPoint().x(), e->position().toPoint().y());
  }
  if (OnMouseUp) OnMouseUp(e);
}

void TFAMap::Click() {
  Clicked = true;
  DoubleClicked = false;
}

void TFAMap::Release(int x, int y) {
  if (!MouseIsDown) return;
  MouseIsDown = false;
  const double wx = World.ScreenToWorldX(x), wy = World.ScreenToWorldY(y);
  TExtent& v = World.ViewExtent;
  switch (Mode) {
  case ModeZoomIn: {
    if (Dragged) {
      const double x1 = World.ScreenToWorldX(StartX), y1 = World.ScreenToWorldY(StartY);
      v = {std::min(x1, wx), std::min(y1, wy), std::max(x1, wx), std::max(y1, wy)};
      GiveBoxBothDimensions(v);
    } else {
      const double qw = (v.XMax - v.XMin) / 4, qh = (v.YMax - v.YMin) / 4;
      v = {wx - qw, wy - qh, wx + qw, wy + qh};
    }
    EndRubberBand();
    Redraw();
    break;
  }
  case ModeZoomOut: {
    const double fw = v.XMax - v.XMin, fh = v.YMax - v.YMin;
    v = {wx - fw, wy - fh, wx + fw, wy + fh};
    Redraw();
    break;
  }
  case ModePan:
    PanSnapshot = QImage();
    if (Dragged) {
      const double dx = wx - World.ScreenToWorldX(StartX), dy = wy - World.ScreenToWorldY(StartY);
      PreviewView({v.XMin - dx, v.YMin - dy, v.XMax - dx, v.YMax - dy});
    } else if (NeedRedraw) {
      SettleTimer.start(kSettleDelay);
    }
    break;
  case ModeMeasure:
    if (DoubleClicked && MeasurementLayer) {
      EndRubberBand();
      MeasurementLayer->FinishMeasurement(World);
      ShowPathLengths();
      SetCursorNumber(0);
      Mode = ModeNone;
      DoubleClicked = false;
      Redraw();
    }
    break;
  case ModeDeleteMeasure:
    DeleteMeasurementAt(wx, wy);
    break;
  case ModeIdentify:
    if (!Dragged && OnIdentify) OnIdentify(wx, wy);
    break;
  case ModeShutOff:
    if (!Dragged && OnShutOffAt) OnShutOffAt(wx, wy);
    break;
  case ModeInfo:
  case ModeEdit:
    if (Dragged) {
      const bool arrow = ArrowVisible;
      HideArrow();
      EndRubberBand();
      Paint();
      if (arrow) ShowArrow(ArrowX, ArrowY);
    } else {
      EndRubberBand();
      PickObject(x, y, Mode == ModeEdit);
    }
    break;
  default:
    break;
  }
}

void TFAMap::GiveBoxBothDimensions(TExtent& box) const {
  // A straight horizontal or vertical drag spans one dimension only; the transform would fit
  // such an extent by its empty side and zoom all the way out. The box takes the missing side
  // from the other in the control's proportions, about its centre, and so zooms in.
  const double w = box.XMax - box.XMin, h = box.YMax - box.YMin;
  const double aspect = double(std::max(1, height())) / std::max(1, width());
  const double cx = (box.XMin + box.XMax) / 2, cy = (box.YMin + box.YMax) / 2;
  if (w <= 0 && h > 0) {
    const double half = h / aspect / 2;
    box.XMin = cx - half;
    box.XMax = cx + half;
  } else if (h <= 0 && w > 0) {
    const double half = w * aspect / 2;
    box.YMin = cy - half;
    box.YMax = cy + half;
  }
}

// ---- the wheel's zoom and the measurement's keys

void TFAMap::ZoomBy(int x, int y, double factor) {
  const double wx = World.ScreenToWorldX(x), wy = World.ScreenToWorldY(y);
  const TExtent& v = World.VisibleExtent;
  // The point under the pointer stays where it is.
  PreviewView({wx - (wx - v.XMin) * factor, wy - (wy - v.YMin) * factor,
               wx + (v.XMax - wx) * factor, wy + (v.YMax - wy) * factor});
}

void TFAMap::wheelEvent(QWheelEvent* e) {
  const int notches = e->angleDelta().y() / 120;
  if (notches == 0 || MouseIsDown) return;
  ZoomBy(e->position().toPoint().x(), e->position().toPoint().y(), std::pow(2.0, -notches));
}

void TFAMap::keyPressEvent(QKeyEvent* e) {
  // Escape gives up the measurement being drawn, Backspace takes back its last point.
  if (Mode == ModeMeasure && MeasurementLayer && !MouseIsDown) {
    if (e->key() == Qt::Key_Escape) {
      MeasurementLayer->AbandonMeasurement();
      EndRubberBand();
      SetCursorNumber(0);
      Mode = ModeNone;
      Redraw();
      if (OnShowPathLengths) OnShowPathLengths(false);
      if (OnMeasureAbandoned) OnMeasureAbandoned();
      return;
    }
    if (e->key() == Qt::Key_Backspace) {
      MeasurementLayer->RemoveLastPoint();
      Clicked = false; // no rubber band from a point that is gone
      Redraw();
      ShowPathLengths();
      return;
    }
  }
  if (e->key() == Qt::Key_Escape && MouseIsDown) {
    // Escape ends the rubber band or the pan preview without acting on it.
    MouseIsDown = false;
    Dragged = false;
    EndRubberBand();
    PanSnapshot = QImage();
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
