#include "ScaleBar.h"

#include <QFontMetrics>
#include <QPainter>
#include <QPainterPath>
#include <cmath>

namespace gfx {

ScaleBar ChooseScaleBar(double pixelsPerMetre, int maxPixels) {
  ScaleBar bar;
  if (!(pixelsPerMetre > 0) || !std::isfinite(pixelsPerMetre) || maxPixels < 1) return bar;
  const double longest = maxPixels / pixelsPerMetre;
  double power = std::pow(10.0, std::floor(std::log10(longest)));
  if (!std::isfinite(power) || power <= 0) return bar;
  // 1 × power always fits (within rounding, which the tolerance absorbs).
  for (const double step : {5.0, 2.0, 1.0})
    if (step * power <= longest * (1 + 1e-12)) {
      bar.Metres = step * power;
      break;
    }
  bar.Pixels = int(std::lround(bar.Metres * pixelsPerMetre));
  bar.Caption = ScaleBarCaption(bar.Metres);
  return bar;
}

QString ScaleBarCaption(double metres) {
  const bool kilometres = metres >= 1000;
  const double value = kilometres ? metres / 1000 : metres;
  // Lengths under a metre keep the digits they need ("0,5 м").
  QString number = QString::number(value, 'g', 12);
  number.replace('.', ',');
  return number + QString::fromUtf8(kilometres ? " км" : " м");
}

void DrawScaleBar(QPainter& painter, const QRect& area, double pixelsPerMetre) {
  const ScaleBar bar = ChooseScaleBar(pixelsPerMetre, std::min(200, area.width() / 5));
  if (bar.Pixels < 2) return;
  painter.save();
  painter.setRenderHint(QPainter::Antialiasing, false);
  QFont font("DejaVu Sans");
  font.setPixelSize(11);
  painter.setFont(font);
  const QFontMetrics metrics(font);
  const int x = area.left() + 10, y = area.bottom() - 10, tick = 6;
  // A white ground under the bar and its caption keeps both readable over any map.
  const int width = std::max(bar.Pixels, metrics.horizontalAdvance(bar.Caption));
  painter.fillRect(
      QRect(x - 4, y - tick - metrics.height() - 4, width + 8, tick + metrics.height() + 8),
      QColor(255, 255, 255, 200));
  painter.setPen(QPen(Qt::black, 2));
  painter.drawLine(x, y, x + bar.Pixels, y);
  painter.drawLine(x, y, x, y - tick);
  painter.drawLine(x + bar.Pixels, y, x + bar.Pixels, y - tick);
  painter.drawText(QPoint(x, y - tick - metrics.descent() - 1), bar.Caption);
  painter.restore();
}

} // namespace gfx
