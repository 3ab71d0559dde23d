#pragma once
// A picture of the map being drawn one layer at a time between the window's other events: its
// image, the canvas on it, the timer of the next step and since when it runs. The map control
// starts it, shows it while it builds up, and takes the finished image.

#include "gfx/Canvas.h"

#include <QElapsedTimer>
#include <QImage>
#include <QTimer>
#include <functional>
#include <map>
#include <memory>

class TMapContent;

class TStepPicture {
public:
  // `step` is called by the timer for the next step.
  explicit TStepPicture(const std::function<void()>& step);

  // A blank w × h picture in `background` with a canvas on it (any picture under way given up).
  void Begin(TMapContent& content, int w, int h, uint32_t background);
  bool Underway() const { return bool(Canvas); }
  gfx::Canvas& CanvasOf() { return *Canvas; }
  const QImage& Picture() const { return Image; }
  qint64 Elapsed() const { return Clock.elapsed(); }
  // The finished picture, taken: nothing is under way afterwards.
  QImage Take();
  void GiveUp(TMapContent& content);
  QTimer Timer;
  bool ShowProgress = false;          // repaint() (a drawing that holds the thread), else update()
  std::map<int, bool> ReportedLayers; // layers whose failure was already reported

private:
  QImage Image;
  std::unique_ptr<gfx::Canvas> Canvas;
  QElapsedTimer Clock;
};
