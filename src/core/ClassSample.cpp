#include "ClassSample.h"

#include "gfx/Canvas.h"

void DrawSampleSymbol(gfx::Canvas& canvas, int x, int y, const QString& text, const QString& font,
                      uint32_t colour) {
  const gfx::FontState saved = canvas.Font;
  canvas.Brush.Style = 1;
  canvas.Font.Name = font;
  canvas.Font.Color = colour;
  canvas.Font.Size = 13;
  canvas.Font.CharSet = 2;
  canvas.TextOut(x, y, text);
  canvas.Font.Name = saved.Name;
  canvas.Font.Color = saved.Color;
  canvas.Font.Size = saved.Size;
  canvas.Font.CharSet = 0;
}

void DrawClassSample(gfx::Canvas& canvas, const TClassObject& c, int x, const QRect& r,
                     int textTop) {
  canvas.Brush.Color = c.BrushColor;
  canvas.Brush.Style = c.BrushStyle;
  canvas.Pen.Color = c.PenColor;
  canvas.Pen.Style = c.PenStyle;
  canvas.Pen.Width = c.PenWidth;
  const int bottom = r.bottom() + 1; // the item rectangle's Bottom is one past its last row
  switch (c.PrimitiveType) {
  case 1:
  case 11:
  case 101:
  case 102:
  case 111:
  case 112:
    DrawSampleSymbol(canvas, x + int(24 / 3.5), textTop, c.CharLabel, c.CharFont, c.CharFontColor);
    break;
  case 3:
  case 13:
  case 103: {
    const QPoint zigzag[] = {
        {x, r.top() + 5}, {x + 10, bottom - 5}, {x + 14, r.top() + 5}, {x + 24, bottom - 5}};
    canvas.Polyline(zigzag);
    break;
  }
  case 5:
  case 15:
    canvas.Rectangle(x, r.top() + 3, x + 24, bottom - 3);
    break;
  default:
    break;
  }
}
