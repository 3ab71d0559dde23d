#pragma once
// What the map control tells the window that holds it, each after the control's own handling.

#include <QString>
#include <functional>

class QMouseEvent;
class QPainter;

struct TMapEvents {
  std::function<void()> OnPaint; // a finished picture was shown
  std::function<void(QMouseEvent*)> OnMouseDown, OnMouseMove, OnMouseUp;
  std::function<void()> OnDblClick;
  // A layer that cannot be drawn (a broken geometry file): its index and the reason.
  std::function<void(int, const QString&)> OnLayerError;
  // Called before the layers are destroyed to be built again: what holds a layer lets it go.
  std::function<void()> OnLayersGone;
  // The world point under the pointer, for the status bar.
  std::function<void(double, double)> OnPointerMoved;
  // A click of the identify tool at the map point (x, y).
  std::function<void(double, double)> OnIdentify;
  // A click of the shut-off tool at the map point (x, y).
  std::function<void(double, double)> OnShutOffAt;
  // The selection changed (a pick, Escape, an object found, one set from outside).
  std::function<void()> OnSelectionChanged;
  // Paints over the finished map on the screen (the scale bar); not part of BackBuffer.
  std::function<void(QPainter&)> OnPaintOverlay;
};
