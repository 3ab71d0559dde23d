#pragma once
// The scale bar drawn in the lower left corner of the map and of exported pictures: a round
// length (1, 2 or 5 times a power of ten metres) with its caption.

#include <QRect>
#include <QString>

class QPainter;

namespace gfx {

struct ScaleBar {
  double Metres = 0; // 0: no round length fits
  int Pixels = 0;
  QString Caption; // "500 м", "2 км"
};

// The longest round length not longer than `maxPixels` at `pixelsPerMetre`.
ScaleBar ChooseScaleBar(double pixelsPerMetre, int maxPixels);
QString ScaleBarCaption(double metres);
// The bar of at most a fifth of the area's width (and 200 pixels) in its lower left corner.
void DrawScaleBar(QPainter& painter, const QRect& area, double pixelsPerMetre);

} // namespace gfx
