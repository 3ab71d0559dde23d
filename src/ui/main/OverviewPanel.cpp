#include "OverviewPanel.h"

#include "core/FAMap.h"
#include "core/MapPicture.h"

#include <QMouseEvent>
#include <QPainter>

TOverviewMap::TOverviewMap(TFAMap& map, QWidget* parent) : QWidget(parent), Map(map) {
  setObjectName("OverviewMap");
  setMinimumSize(120, 90);
  setCursor(Qt::PointingHandCursor);
}

void TOverviewMap::Fit() {
  const TExtent& full = Map.World.FullExtent;
  Whole.SetView(width(), height(), full.XMin, full.YMin, full.XMax, full.YMax);
  if (Picture.size() != size()) {
    TMapPictureOptions options;
    options.Width = width();
    options.Height = height();
    Picture = DrawMapPicture(Map.Content, full, options).Image;
  }
}

QRect TOverviewMap::ViewRect() const {
  const TExtent& v = Map.World.VisibleExtent;
  return QRect(QPoint(Whole.WorldToScreenX(v.XMin), Whole.WorldToScreenY(v.YMax)),
               QPoint(Whole.WorldToScreenX(v.XMax), Whole.WorldToScreenY(v.YMin)))
      .normalized();
}

void TOverviewMap::paintEvent(QPaintEvent*) {
  Fit();
  QPainter p(this);
  p.drawImage(0, 0, Picture);
  QRect view = ViewRect();
  if (Dragging) view.moveCenter(DragCentre);
  // A view smaller than a few pixels still shows where it is.
  if (view.width() < 6 || view.height() < 6)
    view = QRect(view.center() - QPoint(3, 3), QSize(7, 7));
  p.setPen(QPen(QColor(220, 0, 0), 2));
  p.setBrush(QColor(220, 0, 0, 40));
  p.drawRect(view);
}

void TOverviewMap::mousePressEvent(QMouseEvent* e) {
  if (e->button() != Qt::LeftButton) return;
  Fit();
  const QRect view = ViewRect();
  const QPoint at = e->position().toPoint();
  // Pressed off the rectangle: the rectangle jumps under the pointer and follows it.
  DragOffset = view.contains(at) ? view.center() - at : QPoint();
  DragCentre = at + DragOffset;
  Dragging = true;
  update();
}

void TOverviewMap::mouseMoveEvent(QMouseEvent* e) {
  if (!Dragging) return;
  DragCentre = e->position().toPoint() + DragOffset;
  // The map follows the hand with its last picture moved; it is drawn when the hand lets go.
  Map.PreviewView(ViewCentredAt(DragCentre));
  update();
}

void TOverviewMap::mouseReleaseEvent(QMouseEvent* e) {
  if (!Dragging || e->button() != Qt::LeftButton) return;
  Dragging = false;
  CentreViewAt(e->position().toPoint() + DragOffset);
}

TExtent TOverviewMap::ViewCentredAt(QPoint centre) const {
  const TExtent& v = Map.World.VisibleExtent;
  const double cx = Whole.ScreenToWorldX(centre.x()), cy = Whole.ScreenToWorldY(centre.y());
  const double hw = (v.XMax - v.XMin) / 2, hh = (v.YMax - v.YMin) / 2;
  return {cx - hw, cy - hh, cx + hw, cy + hh};
}

void TOverviewMap::CentreViewAt(QPoint centre) {
  Map.World.ViewExtent = ViewCentredAt(centre);
  Map.Redraw();
  update();
}

TOverviewPanel::TOverviewPanel(TFAMap& map, QWidget* parent)
    : QDockWidget(QString::fromUtf8("Оглядова карта"), parent) {
  setObjectName("OverviewPanel");
  Overview = new TOverviewMap(map, this);
  setWidget(Overview);
}
