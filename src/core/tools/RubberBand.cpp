#include "RubberBand.h"

#include "core/FAMap.h"

#include <algorithm>

void TRubberBand::Prepare(uint32_t colour) {
  gfx::Canvas& canvas = Map.ScreenCanvas();
  SavedPenStyle = canvas.Pen.Style;
  canvas.Pen.Mode = gfx::PenMode::NotXor;
  canvas.Pen.Style = 0;
  canvas.Pen.Color = colour;
  canvas.Pen.Width = 1;
  canvas.Brush.Style = 1;
  Shown = false;
}

void TRubberBand::Box(int x1, int y1, int x2, int y2) {
  if (!Map.HasScreenCanvas()) return;
  Map.ScreenCanvas().Rectangle(std::min(x1, x2), std::min(y1, y2), std::max(x1, x2) + 1,
                               std::max(y1, y2) + 1);
}

void TRubberBand::DragBox(int x, int y) {
  TMapGesture& g = Map.Gesture;
  if (!g.ButtonDown || !g.Dragged) return;
  if (Shown) Box(g.StartX, g.StartY, g.LastX, g.LastY);
  Box(g.StartX, g.StartY, x, y);
  Shown = true;
  g.LastX = x;
  g.LastY = y;
  Map.ShowScreen();
}

void TRubberBand::Line(int x1, int y1, int x2, int y2) {
  gfx::Canvas& canvas = Map.ScreenCanvas();
  canvas.MoveTo(x1, y1);
  canvas.LineTo(x2, y2);
}

void TRubberBand::End() {
  if (Map.HasScreenCanvas()) {
    Map.ScreenCanvas().Pen.Style = SavedPenStyle;
    Map.ScreenCanvas().Pen.Mode = gfx::PenMode::Copy;
  }
  Shown = false;
}
