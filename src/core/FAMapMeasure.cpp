// The map control's measurements: starting one, following the pointer (also outside the
// control, which scrolls the view towards it), the lengths shown, files, and deleting one.

#include "FAMap.h"

#include <QApplication>
#include <QCursor>
#include <cmath>

void TFAMap::FeedPointerOutside() {
  if (!MouseLeft || Mode != ModeMeasure) {
    OutsideTimer.stop();
    return;
  }
  const QPoint p = mapFromGlobal(QCursor::pos());
  if (!rect().contains(p)) MeasureMove(p.x(), p.y());
}

void TFAMap::StartMeasure(uint32_t Color, int Kind) {
  SetCursorNumber(1004);
  Mode = ModeMeasure;
  Clicked = DoubleClicked = false;
  if (MeasurementLayer) MeasurementLayer->StartMeasurement(Color, int16_t(Kind));
  if (Kind == 0 && OnPathLengths) OnPathLengths("0.00 м", "0.00 м");
  if (OnShowPathLengths) OnShowPathLengths(Kind == 0);
}

void TFAMap::SetMeasurements(std::unique_ptr<IMapMeasurements> measurements) {
  MeasurementLayer = std::move(measurements);
  MarkMeasurementsSaved();
}

void TFAMap::ShowPathLengths() {
  if (!MeasurementLayer || !OnPathLengths) return;
  auto format = [](double v) { return IMapMeasurements::FormatValue(v) + " м"; };
  OnPathLengths(format(MeasurementLayer->LastSegmentLength()),
                format(MeasurementLayer->CurrentValue()));
}

void TFAMap::LoadMeasurements(const QString& FileName) {
  if (!MeasurementLayer) return;
  // The overlay keeps what it read before a fault; the map shows it either way.
  struct RedrawAfter {
    TFAMap* Map;
    ~RedrawAfter() { Map->Redraw(); }
  } redraw{this};
  struct TakeAsSaved {
    TFAMap* Map;
    ~TakeAsSaved() { Map->MarkMeasurementsSaved(); }
  } loaded{this};
  MeasurementLayer->LoadFromFile(FileName, World);
}

void TFAMap::SaveMeasurements(const QString& FileName) {
  if (!MeasurementLayer) return;
  MeasurementLayer->SaveToFile(FileName);
  MarkMeasurementsSaved();
}

bool TFAMap::MeasurementsUnsaved() const {
  return MeasurementLayer && MeasurementLayer->FileText() != SavedMeasurements;
}

void TFAMap::MarkMeasurementsSaved() {
  SavedMeasurements = MeasurementLayer ? MeasurementLayer->FileText() : QByteArray();
}

void TFAMap::EraseMeasurements() {
  if (MeasurementLayer) MeasurementLayer->Clear();
  // Erased on purpose: nothing is left to save, and the path lengths shown are gone with them.
  MarkMeasurementsSaved();
  if (OnPathLengths) OnPathLengths(QString(), QString());
  if (OnShowPathLengths) OnShowPathLengths(false);
  Redraw();
}

void TFAMap::MeasureMove(int x, int y) {
  if (!Clicked || !MeasurementLayer || MeasurementLayer->CurrentPointCount() < 1) return;
  if (ScreenCanvas) {
    ScreenCanvas->MoveTo(StartX, StartY); // erase the rubber-band line (not-xor)
    ScreenCanvas->LineTo(LastX, LastY);
  } else {
    // The screen was painted afresh from the back buffer since: no line to erase there.
    PrepareRubberBand(255);
  }
  // Near a side of the view, the view moves that way by half the control's width.
  const double m = 10 / World.Scale;
  const int h = int(std::nearbyint(width() / 2.0)); // to the nearest, halves to even
  const double H = h / World.Scale;
  const double wx = World.ScreenToWorldX(x), wy = World.ScreenToWorldY(y);
  const TExtent& e = World.VisibleExtent;
  double dx = 0, dy = 0;
  int endX = x, endY = y;
  if (wx - e.XMin < m) {
    dx = H;
    StartX += h;
    endX = 11;
  } else if (e.XMax - wx < m) {
    dx = -H;
    StartX -= h;
    endX = width() - 11;
  }
  if (wy - e.YMin < m) {
    dy = H;
    StartY -= h;
    endY = height() - 11;
  } else if (e.YMax - wy < m) {
    dy = -H;
    StartY += h;
    endY = 11;
  }
  if (dx != 0 || dy != 0) {
    TExtent& v = World.ViewExtent;
    v = {v.XMin - dx, v.YMin - dy, v.XMax - dx, v.YMax - dy};
    Redraw();
    PrepareRubberBand(255);
  }
  ScreenCanvas->MoveTo(StartX, StartY);
  ScreenCanvas->LineTo(endX, endY);
  LastX = endX;
  LastY = endY;
  ShowScreen();
}

void TFAMap::DeleteMeasurementAt(double wx, double wy) {
  if (!MeasurementLayer) return;
  QApplication::setOverrideCursor(Qt::WaitCursor);
  HideArrow();
  if (!ScreenCanvas) ScreenCanvas = std::make_unique<gfx::Canvas>(Screen);
  ScreenCanvas->OnFlush = [this] { ShowScreen(); };
  const int index = MeasurementLayer->FindMeasurement(*ScreenCanvas, World, wx, wy, true);
  ScreenCanvas->OnFlush = nullptr;
  QApplication::restoreOverrideCursor();
  if (index >= 0) {
    MeasurementLayer->GetFoundPoint(ArrowX, ArrowY);
    Paint();
    ShowArrow(ArrowX, ArrowY);
    const QString question = MeasurementLayer->SelectedKind() != 0
                                 ? QString::fromUtf8("Видалити цю площину?")
                                 : QString::fromUtf8("Видалити цей пішоходний маршрут?");
    if (OnConfirmDelete && OnConfirmDelete(question)) {
      MeasurementLayer->Delete(index);
      Redraw();
    }
  }
  HideArrow();
}

void TFAMap::leaveEvent(QEvent*) {
  MouseLeft = true;
  if (Mode == ModeMeasure) OutsideTimer.start();
}
void TFAMap::enterEvent(QEnterEvent*) {
  MouseLeft = false;
  OutsideTimer.stop();
}
