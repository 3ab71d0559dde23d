#pragma once
// The overview map: the whole atlas small, with a rectangle for the map window's view that can
// be dragged (or a click that centres the view there). Dockable, off until the user opens it.

#include "core/World.h"

#include <QDockWidget>
#include <QImage>

class TFAMap;

class TOverviewMap : public QWidget {
public:
  explicit TOverviewMap(TFAMap& map, QWidget* parent = nullptr);
  // The whole atlas is drawn again at the next paint (the layers or their look changed).
  void Invalidate() { Picture = QImage(); }
  // The view's rectangle in the overview's pixels.
  QRect ViewRect() const;
  TWorld Whole; // the whole atlas fitted into the widget

protected:
  void paintEvent(QPaintEvent*) override;
  void mousePressEvent(QMouseEvent* e) override;
  void mouseMoveEvent(QMouseEvent* e) override;
  void mouseReleaseEvent(QMouseEvent* e) override;
  QSize sizeHint() const override { return {240, 180}; }

private:
  void Fit();
  void CentreViewAt(QPoint centre);
  // The map's view, its size kept, centred at a point of the overview.
  TExtent ViewCentredAt(QPoint centre) const;
  TFAMap& Map;
  QImage Picture;
  bool Dragging = false;
  QPoint DragOffset; // from the pointer to the rectangle's centre
  QPoint DragCentre;
};

class TOverviewPanel : public QDockWidget {
public:
  explicit TOverviewPanel(TFAMap& map, QWidget* parent = nullptr);
  TOverviewMap* Overview = nullptr;
};
