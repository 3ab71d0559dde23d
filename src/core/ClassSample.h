#pragma once
// A class's sample as the panels show it: its symbol, a zigzag of its pen for lines, a box of its
// pen and brush for areas. The print legend draws the same samples.

#include "CatClass.h"

#include <QRect>
#include <QString>
#include <cstdint>

namespace gfx {
class Canvas;
}

// The sample of `c` with its left edge at `x` in the line `r`, a symbol's text at `textTop`.
void DrawClassSample(gfx::Canvas& canvas, const TClassObject& c, int x, const QRect& r,
                     int textTop);
// A symbol of a symbol font at 13 points, the canvas's font kept.
void DrawSampleSymbol(gfx::Canvas& canvas, int x, int y, const QString& text, const QString& font,
                      uint32_t colour);
