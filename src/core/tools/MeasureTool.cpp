#include "MeasureTool.h"

#include "core/FAMap.h"

#include <QApplication>
#include <QCursor>
#include <QKeyEvent>
#include <cmath>

TMeasureTool::TMeasureTool(TFAMap& map) : TMapTool(map), Band(map) {
  OutsideTimer.setInterval(kOutsideInterval);
  QObject::connect(&OutsideTimer, &QTimer::timeout, &Map, [this] { FeedPointerOutside(); });
}

int TMeasureTool::Mode() const {
  return TFAMap::ModeMeasure;
}

void TMeasureTool::Press(int x, int y) {
  if (IMapMeasurements* overlay = Map.Measuring.Overlay()) {
    overlay->AddPoint(Map.World, Map.World.ScreenToWorldX(x), Map.World.ScreenToWorldY(y));
    {
      gfx::Canvas back(Map.BackBuffer);
      overlay->DrawCurrent(back, Map.World);
    }
    Map.DropScreenCanvas();
    Map.Screen = Map.BackBuffer.copy();
    Map.Arrow.ShowAgain();
    Map.ShowScreen();
    Map.Measuring.ShowPathLengths();
  }
  Band.Prepare(255);
}

void TMeasureTool::Move(int x, int y) {
  FollowPointer(x, y);
}

void TMeasureTool::Release(int, int) {
  IMapMeasurements* overlay = Map.Measuring.Overlay();
  if (!Map.Gesture.DoubleClicked || !overlay) return;
  Band.End();
  overlay->FinishMeasurement(Map.World);
  Map.Measuring.ShowPathLengths();
  Map.Gesture.DoubleClicked = false;
  Stop();
  Map.Redraw();
}

bool TMeasureTool::Key(QKeyEvent& e) {
  IMapMeasurements* overlay = Map.Measuring.Overlay();
  if (!overlay || Map.Gesture.ButtonDown) return false;
  if (e.key() == Qt::Key_Escape) {
    overlay->AbandonMeasurement();
    Band.End();
    Stop();
    Map.Redraw();
    if (Map.Measuring.OnShowPathLengths) Map.Measuring.OnShowPathLengths(false);
    if (Map.Measuring.OnAbandoned) Map.Measuring.OnAbandoned();
    return true;
  }
  if (e.key() == Qt::Key_Backspace) {
    overlay->RemoveLastPoint();
    Map.Gesture.Clicked = false; // no line from a point that is gone
    Map.Redraw();
    Map.Measuring.ShowPathLengths();
    return true;
  }
  return false;
}

void TMeasureTool::Stop() {
  Map.SetMode(TFAMap::ModeNone);
  Map.SetCursorNumber(0);
}

void TMeasureTool::Leave() {
  Outside = true;
  OutsideTimer.start();
}

void TMeasureTool::Enter() {
  Outside = false;
  OutsideTimer.stop();
}

void TMeasureTool::FeedPointerOutside() {
  if (!Outside || Map.Mode != Mode()) {
    OutsideTimer.stop();
    return;
  }
  const QPoint p = Map.mapFromGlobal(QCursor::pos());
  if (!Map.rect().contains(p)) FollowPointer(p.x(), p.y());
}

void TMeasureTool::FollowPointer(int x, int y) {
  IMapMeasurements* overlay = Map.Measuring.Overlay();
  TMapGesture& g = Map.Gesture;
  if (!g.Clicked || !overlay || overlay->CurrentPointCount() < 1) return;
  if (Map.HasScreenCanvas())
    Band.Line(g.StartX, g.StartY, g.LastX, g.LastY); // erases the line drawn last (not-xor)
  else
    Band.Prepare(255); // the screen was painted afresh since: no line to erase there
  // Near a side of the view, the view moves that way by half the control's width.
  const TWorld& world = Map.World;
  const double m = 10 / world.Scale;
  const int h = int(std::nearbyint(Map.width() / 2.0)); // to the nearest, halves to even
  const double H = h / world.Scale;
  const double wx = world.ScreenToWorldX(x), wy = world.ScreenToWorldY(y);
  const TExtent& e = world.VisibleExtent;
  double dx = 0, dy = 0;
  int endX = x, endY = y;
  if (wx - e.XMin < m) {
    dx = H;
    g.StartX += h;
    endX = 11;
  } else if (e.XMax - wx < m) {
    dx = -H;
    g.StartX -= h;
    endX = Map.width() - 11;
  }
  if (wy - e.YMin < m) {
    dy = H;
    g.StartY -= h;
    endY = Map.height() - 11;
  } else if (e.YMax - wy < m) {
    dy = -H;
    g.StartY += h;
    endY = 11;
  }
  if (dx != 0 || dy != 0) {
    TExtent& v = Map.World.ViewExtent;
    v = {v.XMin - dx, v.YMin - dy, v.XMax - dx, v.YMax - dy};
    Map.Redraw();
    Band.Prepare(255);
  }
  Band.Line(g.StartX, g.StartY, endX, endY);
  g.LastX = endX;
  g.LastY = endY;
  Map.ShowScreen();
}

int TDeleteMeasureTool::Mode() const {
  return TFAMap::ModeDeleteMeasure;
}

void TDeleteMeasureTool::Release(int x, int y) {
  IMapMeasurements* overlay = Map.Measuring.Overlay();
  if (!overlay) return;
  const double wx = Map.World.ScreenToWorldX(x), wy = Map.World.ScreenToWorldY(y);
  QApplication::setOverrideCursor(Qt::WaitCursor);
  Map.Arrow.Hide();
  const int index = overlay->FindMeasurement(Map.ScreenCanvas(true), Map.World, wx, wy, true);
  Map.ScreenCanvas(false);
  QApplication::restoreOverrideCursor();
  if (index >= 0) {
    double foundX = 0, foundY = 0;
    overlay->GetFoundPoint(foundX, foundY);
    Map.Paint();
    Map.Arrow.Show(foundX, foundY);
    const QString question = overlay->SelectedKind() != 0
                                 ? QString::fromUtf8("Видалити цю площину?")
                                 : QString::fromUtf8("Видалити цей пішоходний маршрут?");
    if (Map.Measuring.OnConfirmDelete && Map.Measuring.OnConfirmDelete(question)) {
      overlay->Delete(index);
      Map.Redraw();
    }
  }
  Map.Arrow.Hide();
}
