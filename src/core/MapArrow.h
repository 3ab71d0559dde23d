#pragma once
// What the map control needs of the pointer arrow: shown on its screen picture at a pixel,
// hidden again. The animated arrow of the overlays library implements it.

#include <QImage>
#include <functional>

class IMapArrow {
public:
  virtual ~IMapArrow() = default;
  // Starts pointing at pixel (x, y) of `canvas`.
  virtual void Show(QImage& canvas, int x, int y) = 0;
  // Stops and puts back what was under the arrow.
  virtual void Hide(QImage& canvas) = 0;
  // Called after each change of the picture, so that the control shows it.
  std::function<void()> OnChanged;
};
