#pragma once
// The pointer arrow: a red arrow with a black shadow that points down-right at the object last
// found and bobs towards it and back, one frame every 130 milliseconds. It saves the 21 × 21
// pixels under it and puts them back before each frame and when it is hidden.

#include "core/MapArrow.h"

#include <QImage>
#include <QTimer>
#include <array>

class TArrowAnimation : public IMapArrow {
public:
  static constexpr int kSize = 21;
  static constexpr int kInterval = 130; // milliseconds

  TArrowAnimation();

  void Show(QImage& canvas, int x, int y) override;
  void Hide(QImage& canvas) override;
  // The timer's event: the next frame.
  void Tick();

  bool Running() const { return Timer.isActive(); }
  bool IsShown() const { return Shown; }

  QImage Background;
  bool Forward = true;
  uint8_t Frame = 1;
  QImage* Canvas = nullptr;
  int Left = -100, Top = -100;
  std::array<QImage, 4> Frames;
  QTimer Timer;

private:
  bool Shown = false; // from Show to Hide
  void PutBack();
  void DrawFrame(const QImage& frame);
};
