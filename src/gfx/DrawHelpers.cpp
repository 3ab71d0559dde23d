#include "DrawHelpers.h"

#include <chrono>
#include <thread>

namespace gfx {

void DrawFlag(Canvas& canvas, int X, int Y, uint32_t Color) {
  canvas.Brush.Color = Color;
  canvas.Brush.Style = 0;
  canvas.Pen.Mode = PenMode::Copy;
  const PenState saved = canvas.Pen;
  canvas.Pen.Width = 1;
  canvas.Pen.Color = 0;
  canvas.Pen.Style = 0;
  canvas.MoveTo(X, Y);
  canvas.LineTo(X, Y - 20);
  canvas.Ellipse(X - 2, Y - 2, X + 2, Y + 2);
  const QPoint flag[] = {{X, Y - 10}, {X, Y - 20}, {X + 15, Y - 15}};
  canvas.Polygon(flag);
  canvas.Pen.Color = saved.Color;
  canvas.Pen.Width = saved.Width;
}

void TextOutAngle(Canvas& canvas, int X, int Y, int Angle, const QString& Text) {
  const int saved = canvas.Font.Escapement;
  canvas.Font.Escapement = Angle;
  canvas.TextOut(X, Y, Text);
  canvas.Font.Escapement = saved;
}

namespace {
std::function<void(int)>& DelayHandler() {
  static std::function<void(int)> handler;
  return handler;
}
} // namespace

void SetDelayHandler(std::function<void(int)> handler) {
  DelayHandler() = std::move(handler);
}

void Delay(int Milliseconds) {
  if (DelayHandler()) {
    DelayHandler()(Milliseconds);
    return;
  }
  // The wait sleeps rather than spins; nothing else runs on this thread meanwhile either way.
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(Milliseconds);
  while (std::chrono::steady_clock::now() < end)
    std::this_thread::sleep_until(end);
}

} // namespace gfx
