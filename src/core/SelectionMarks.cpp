#include "SelectionMarks.h"

#include "CustomLayer.h"
#include "gfx/Canvas.h"

#include <QPainter>
#include <algorithm>

TSelectionMarks DrawSelectionMarks(const TMapContent& content, const TWorld& world, QSize size,
                                   const std::vector<TSelectedObject>& objects, int haloRadius) {
  if (objects.empty() || size.isEmpty()) return {};
  QImage sheet(size, QImage::Format_RGB32);
  sheet.fill(Qt::white);
  {
    gfx::Canvas canvas(sheet);
    canvas.BlinkPasses = 1;
    TWorld view = world;
    for (const TSelectedObject& s : objects) {
      TCustomLayer* layer = content.LayerOf(s.Category, s.Class);
      if (!layer || !layer->ScaleAllowsDrawing(view.Scale)) continue;
      try {
        layer->FlashObject(s.ObjectIndex, canvas, view);
      } catch (const std::exception&) {
        // An object that cannot be read has no mark; its layer's error is said when drawn.
      }
    }
  }
  constexpr QRgb kShape = 0xFFE00000; // the object itself: opaque red
  constexpr QRgb kHalo = 0xC000C8FF;  // around it: bright cyan, a little transparent
  int left = sheet.width(), top = sheet.height(), right = -1, bottom = -1;
  QImage shape(sheet.size(), QImage::Format_ARGB32_Premultiplied);
  shape.fill(Qt::transparent);
  for (int y = 0; y < sheet.height(); ++y) {
    const auto* in = reinterpret_cast<const QRgb*>(sheet.constScanLine(y));
    auto* out = reinterpret_cast<QRgb*>(shape.scanLine(y));
    for (int x = 0; x < sheet.width(); ++x)
      if ((in[x] & 0xFFFFFF) != 0xFFFFFF) {
        out[x] = kShape;
        left = std::min(left, x), right = std::max(right, x);
        top = std::min(top, y), bottom = std::max(bottom, y);
      }
  }
  if (right < 0) return {}; // nothing of the objects is in view
  const QRect area = QRect(QPoint(left, top), QPoint(right, bottom));
  const QImage marks = shape.copy(area);
  QImage halo = marks;
  {
    QPainter p(&halo);
    p.setCompositionMode(QPainter::CompositionMode_SourceIn);
    p.fillRect(halo.rect(), QColor::fromRgba(kHalo));
  }
  // A halo a few pixels wide, then the shape over it.
  TSelectionMarks result;
  result.Image = QImage(area.size() + QSize(2 * haloRadius, 2 * haloRadius),
                        QImage::Format_ARGB32_Premultiplied);
  result.Image.fill(Qt::transparent);
  result.At = area.topLeft() - QPoint(haloRadius, haloRadius);
  QPainter p(&result.Image);
  const QPoint origin(haloRadius, haloRadius);
  for (int dy = -haloRadius; dy <= haloRadius; ++dy)
    for (int dx = -haloRadius; dx <= haloRadius; ++dx)
      if (dx * dx + dy * dy <= haloRadius * haloRadius && (dx || dy))
        p.drawImage(origin + QPoint(dx, dy), halo);
  p.drawImage(origin, marks);
  return result;
}

void PaintSelectionMarks(QPainter& painter, const TSelectionMarks& marks) {
  if (!marks.Image.isNull()) painter.drawImage(marks.At, marks.Image);
}
