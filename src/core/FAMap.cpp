#include "FAMap.h"

#include "base/UserMessages.h"

#include <QApplication>
#include <QCursor>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QTimer>
#include <cmath>

namespace {

constexpr uint32_t kBackground = 0x00FFFFFF; // the window background colour
constexpr int kDragThreshold = 5;

std::map<int, QCursor>& CursorTable() {
  static std::map<int, QCursor> table;
  return table;
}

// A cursor of the program's resources, or a standard one where the resources are not linked.
QCursor ResourceCursor(const QString& name, Qt::CursorShape fallback) {
  const QPixmap picture(":/cursors/" + name + ".xpm");
  if (picture.isNull()) return QCursor(fallback);
  return QCursor(picture, picture.width() / 2, picture.height() / 2);
}

} // namespace

void TCursors::Register(int number, const QCursor& cursor) {
  CursorTable()[number] = cursor;
}

QCursor TCursors::Get(int number) {
  const auto it = CursorTable().find(number);
  return it == CursorTable().end() ? QCursor(Qt::ArrowCursor) : it->second;
}

TFAMap::TFAMap(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  setMouseTracking(true);
  setFocusPolicy(Qt::StrongFocus);
  World.SetView(std::max(1, width()), std::max(1, height()), -1, -1, 1, 1);
  TCursors::Register(1001, ResourceCursor("ZOOM_IN", Qt::CrossCursor));
  TCursors::Register(1002, ResourceCursor("ZOOM_OUT", Qt::CrossCursor));
  TCursors::Register(1003, ResourceCursor("PAN", Qt::OpenHandCursor));
  TCursors::Register(1004, ResourceCursor("DIST", Qt::CrossCursor));
  // No move events come while the pointer is outside the control and no button is held; while
  // measuring, the pointer's place is looked at instead, so that the view scrolls towards it.
  OutsideTimer.setInterval(kOutsideInterval);
  connect(&OutsideTimer, &QTimer::timeout, this, [this] { FeedPointerOutside(); });
}

TFAMap::~TFAMap() {
  ObjectIndexOfMap.reset();
  Arrow.reset();
  ScreenCanvas.reset();
  Content.DestroyLayers();
  ClearSelection();
}

void TFAMap::LoadMap(const QString& BaseDir, const QString& MapsDir, const QString& AppDir,
                     const QString& RefDir, const QString& RoutesDir) {
  MouseLeft = false;
  ReportedLayers.clear();
  ObjectIndexOfMap.reset();
  const QString failure = Content.LoadMap(BaseDir, MapsDir, AppDir, RefDir, RoutesDir);
  // Before the control is shown its size means nothing; the first paint fits the whole map then.
  if (!Layers.empty() && isVisible())
    World.SetView(width(), height(), World.FullExtent.XMin, World.FullExtent.YMin,
                  World.FullExtent.XMax, World.FullExtent.YMax);
  if (ObjectIndexFactory)
    ObjectIndexOfMap = ObjectIndexFactory(MapsDir, BaseDir, AppDir, World.FullExtent);
  if (!failure.isEmpty())
    base::UserMessages::Current().ShowMessage("Невозможно открыть карту...\n" + failure);
  NeedRedraw = true;
}

void TFAMap::CloseMap() {
  ObjectIndexOfMap.reset();
  Content.CloseMap();
}

void TFAMap::ReloadMap() {
  const TExtent view = World.ViewExtent;
  if (OnLayersGone) OnLayersGone();
  Content.DestroyLayers();
  LoadMap(Content.BaseDir, Content.MapsDir, Content.AppDir, Content.RefDir, Content.RoutesDir);
  World.ViewExtent = view;
  NeedRedraw = true;
}

void TFAMap::ShowScreen() {
  repaint();
}

void TFAMap::Paint() {
  const int w = std::max(1, width()), h = std::max(1, height());
  ScreenCanvas.reset();
  QApplication::setOverrideCursor(Qt::WaitCursor);
  if (NeedRedraw || BackBuffer.size() != QSize(w, h)) {
    BackBuffer = QImage(w, h, QImage::Format_RGB32);
    BackBuffer.fill(gfx::ToQColor(kBackground));
    World.SetView(w, h, World.ViewExtent.XMin, World.ViewExtent.YMin, World.ViewExtent.XMax,
                  World.ViewExtent.YMax);
    {
      gfx::Canvas canvas(BackBuffer);
      World.ComputeScale(canvas.WidthMM());
      Content.DrawLayers(
          canvas,
          [this](int layer, const QString& reason) {
            if (ReportedLayers[layer]) return;
            ReportedLayers[layer] = true;
            if (OnLayerError) OnLayerError(layer, reason);
          },
          [this] {
            // The map builds up on screen layer by layer, shown from the back buffer itself.
            BuildingUp = true;
            if (isVisible()) ShowScreen();
          });
      BuildingUp = false;
      if (MeasurementLayer) {
        MeasurementLayer->Draw(canvas, World);
        MeasurementLayer->DrawCurrent(canvas, World);
      }
    }
    NeedRedraw = false;
  }
  Screen = BackBuffer.copy();
  MarkSelection();
  QApplication::restoreOverrideCursor();
  if (ArrowVisible) ShowArrow(ArrowX, ArrowY);
  ShowScreen();
  if (OnPaint) OnPaint();
}

void TFAMap::Redraw() {
  NeedRedraw = true;
  Paint();
}

void TFAMap::paintEvent(QPaintEvent*) {
  // A map that needs drawing is drawn right after this exposure (not inside it).
  if (NeedRedraw && !RedrawScheduled) {
    RedrawScheduled = true;
    QTimer::singleShot(0, this, [this] {
      RedrawScheduled = false;
      if (NeedRedraw) Paint();
    });
  }
  QPainter p(this);
  if (BuildingUp)
    p.drawImage(0, 0, BackBuffer);
  else if (Screen.isNull())
    p.fillRect(rect(), gfx::ToQColor(kBackground));
  else
    p.drawImage(0, 0, Screen);
  if (OnPaintOverlay && !BuildingUp && !Screen.isNull()) OnPaintOverlay(p);
}

void TFAMap::resizeEvent(QResizeEvent*) {
  NeedRedraw = true;
  if (isVisible()) Paint();
}

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
    PanSnapshot = BackBuffer.copy();
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
    if (Dragged) {
      const double dx = wx - World.ScreenToWorldX(StartX), dy = wy - World.ScreenToWorldY(StartY);
      v = {v.XMin - dx, v.YMin - dy, v.XMax - dx, v.YMax - dy};
      Redraw();
    }
    PanSnapshot = QImage();
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

void TFAMap::SetArrow(std::unique_ptr<IMapArrow> arrow) {
  Arrow = std::move(arrow);
  if (Arrow) Arrow->OnChanged = [this] { ShowScreen(); };
}

void TFAMap::HideArrow() {
  ArrowVisible = false;
  if (Arrow) Arrow->Hide(Screen);
}

void TFAMap::ShowArrow(double X, double Y) {
  ArrowX = X;
  ArrowY = Y;
  ArrowVisible = true;
  if (Arrow) Arrow->Show(Screen, World.WorldToScreenX(X), World.WorldToScreenY(Y));
}

void TFAMap::SetLayerObjectImage(int Category, int Class, int ObjectNumber, int ImageIndex) {
  for (const auto& l : Layers)
    if (l->Category == Category && l->Class == Class) {
      l->SetObjectImage(ObjectNumber, ImageIndex);
      return;
    }
}

int TFAMap::GetLayerObjectImage(int Category, int Class, int ObjectNumber) {
  for (const auto& l : Layers)
    if (l->Category == Category && l->Class == Class) return l->GetObjectImage(ObjectNumber);
  return -1;
}

// ---- beyond the specified handlers

void TFAMap::ZoomBy(int x, int y, double factor) {
  const double wx = World.ScreenToWorldX(x), wy = World.ScreenToWorldY(y);
  const TExtent& v = World.VisibleExtent;
  // The point under the pointer stays where it is.
  World.ViewExtent = {wx - (wx - v.XMin) * factor, wy - (wy - v.YMin) * factor,
                      wx + (v.XMax - wx) * factor, wy + (v.YMax - wy) * factor};
  Redraw();
}

void TFAMap::wheelEvent(QWheelEvent* e) {
  const int notches = e->angleDelta().y() / 120;
  if (notches == 0 || MouseIsDown) return;
  ZoomBy(e->position().toPoint().x(), e->position().toPoint().y(), std::pow(2.0, -notches));
}

void TFAMap::keyPressEvent(QKeyEvent* e) {
  // Beyond the specified handling: Escape gives up the measurement being drawn, Backspace takes
  // back its last point.
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
