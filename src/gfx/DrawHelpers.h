#pragma once
// Small drawing helpers shared by the layers and the measurements: the flag marker, rotated
// text, and the busy wait of the blinking of found objects.

#include "Canvas.h"

namespace gfx {

// The flag of a measurement: a staff from (X, Y) up 20 pixels, a small circle at its foot and a
// triangular flag in `Color`. The pen's colour and width are kept.
void DrawFlag(Canvas& canvas, int X, int Y, uint32_t Color);

// Writes `Text` at (X, Y) in the canvas's font turned by `Angle` tenths of a degree
// counter-clockwise; the canvas's own font is left as it was.
void TextOutAngle(Canvas& canvas, int X, int Y, int Angle, const QString& Text);

// Waits `Milliseconds` without processing events.
void Delay(int Milliseconds);
// Replaces the waiting of Delay (tests wait for nothing); an empty function restores it.
void SetDelayHandler(std::function<void(int)> handler);

} // namespace gfx
