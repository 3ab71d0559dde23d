#include "MapPrintLayout.h"

#include "ClassSample.h"

#include "core/MapContent.h"
#include "gfx/Canvas.h"
#include "gfx/ScaleBar.h"

#include <QPainter>
#include <QPainterPath>
#include <algorithm>

namespace {

constexpr double kMarginMm = 10, kTitleMm = 12, kFooterMm = 30;
constexpr double kPxPerMm = 96 / 25.4;

// A font of `points` on the page (the canvas counts pixels at 96 per inch, whatever device).
QFont PageFont(double points, bool bold = false) {
  QFont font("DejaVu Sans");
  font.setPixelSize(int(std::lround(points * 96 / 72)));
  font.setBold(bold);
  return font;
}

int Px(double mm) {
  return int(std::lround(mm * kPxPerMm));
}

QRect PxRect(const QRectF& mm) {
  return QRect(Px(mm.left()), Px(mm.top()), Px(mm.width()), Px(mm.height()));
}

// The legend's entries in columns across the footer's left part.
void DrawLegend(QPainter& painter, const QRect& area,
                const std::vector<const TClassObject*>& items) {
  constexpr int kLine = 18, kColumn = 190;
  painter.setFont(PageFont(7));
  const int rows = std::max(1, area.height() / kLine);
  for (size_t i = 0; i < items.size(); ++i) {
    const int column = int(i) / rows, row = int(i) % rows;
    const int x = area.left() + column * kColumn, y = area.top() + row * kLine;
    if (x + kColumn > area.right() + kColumn / 2) break; // no room left: the rest is left out
    QImage sample(30, 16, QImage::Format_RGB32);
    sample.fill(Qt::white);
    {
      gfx::Canvas canvas(sample);
      canvas.StampSymbols = false;
      DrawClassSample(canvas, *items[i], 2, QRect(0, 0, 30, 16), 0);
    }
    painter.drawImage(QPoint(x, y), sample);
    painter.setPen(Qt::black);
    painter.drawText(QRect(x + 34, y, kColumn - 38, 16), Qt::AlignVCenter | Qt::AlignLeft,
                     items[i]->ClassName);
  }
}

void DrawNorthArrow(QPainter& painter, QPoint tip) {
  QPainterPath arrow;
  arrow.moveTo(tip);
  arrow.lineTo(tip + QPoint(-9, 30));
  arrow.lineTo(tip + QPoint(0, 22));
  arrow.lineTo(tip + QPoint(9, 30));
  arrow.closeSubpath();
  painter.setPen(QPen(Qt::black, 1));
  painter.setBrush(Qt::black);
  painter.drawPath(arrow);
  painter.setFont(PageFont(9, true));
  painter.drawText(QRect(tip.x() - 10, tip.y() + 30, 20, 16), Qt::AlignCenter, "Пн");
}

} // namespace

TPrintLayout LayOutPage(const TPrintSettings& s) {
  TPrintLayout layout;
  QSizeF page = s.Page.size(QPageSize::Millimeter);
  if (s.Orientation == QPageLayout::Landscape) page.transpose();
  layout.PageMm = page;
  layout.TitleMm = QRectF(kMarginMm, kMarginMm, page.width() - 2 * kMarginMm, kTitleMm);
  layout.FooterMm = QRectF(kMarginMm, page.height() - kMarginMm - kFooterMm,
                           page.width() - 2 * kMarginMm, kFooterMm);
  layout.MapMm = QRectF(kMarginMm, layout.TitleMm.bottom() + 2, page.width() - 2 * kMarginMm,
                        layout.FooterMm.top() - 2 - layout.TitleMm.bottom() - 2);
  // The ground in the frame: its millimetres times the scale's denominator.
  double denominator = s.Denominator;
  double cx = s.CentreX, cy = s.CentreY;
  if (!(denominator > 0)) {
    const TExtent& v = s.FitView;
    const double byWidth = (v.XMax - v.XMin) * 1000 / layout.MapMm.width();
    const double byHeight = (v.YMax - v.YMin) * 1000 / layout.MapMm.height();
    denominator = std::max({byWidth, byHeight, 1.0});
    cx = (v.XMin + v.XMax) / 2;
    cy = (v.YMin + v.YMax) / 2;
  }
  layout.Denominator = denominator;
  const double halfWidth = layout.MapMm.width() / 1000 * denominator / 2;
  const double halfHeight = layout.MapMm.height() / 1000 * denominator / 2;
  layout.View = {cx - halfWidth, cy - halfHeight, cx + halfWidth, cy + halfHeight};
  return layout;
}

void DrawPrintPage(QPaintDevice& device, TMapContent& content, const TPrintSettings& settings,
                   const std::vector<const TClassObject*>& legend,
                   const std::function<void(const QString&)>& onError) {
  const TPrintLayout layout = LayOutPage(settings);
  const QSize page(Px(layout.PageMm.width()), Px(layout.PageMm.height()));
  gfx::Canvas canvas(device, page);
  QPainter& painter = canvas.Surface();
  const QRect frame = PxRect(layout.MapMm);
  // The map: its own transform over the frame, clipped to it; one run, drawn as vectors.
  const TWorld saved = content.World;
  const int threads = content.Threads;
  content.Threads = 1;
  content.World.SetView(frame.width(), frame.height(), layout.View.XMin, layout.View.YMin,
                        layout.View.XMax, layout.View.YMax);
  content.World.ComputeScale(layout.MapMm.width());
  const double scale = content.World.Scale;
  painter.save();
  painter.translate(frame.topLeft());
  painter.setClipRect(QRect(QPoint(0, 0), frame.size()));
  content.DrawLayers(canvas, [&](int layer, const QString& reason) {
    if (onError) onError(content.Layers[size_t(layer)]->ClassName + ": " + reason);
  });
  painter.restore();
  canvas.ForgetPainterState();
  content.Threads = threads;
  // Which classes the page shows: those of layers switched on and drawn at this scale.
  std::vector<const TClassObject*> shown;
  for (const TClassObject* c : legend)
    for (const auto& layer : content.Layers)
      if (layer->Category == c->Category && layer->Class == c->Class && layer->Visibled &&
          layer->ScaleAllowsDrawing(scale))
        shown.push_back(c);
  content.World = saved;

  painter.setPen(QPen(Qt::black, 1));
  painter.setBrush(Qt::NoBrush);
  painter.drawRect(frame);
  painter.setFont(PageFont(14, true));
  painter.drawText(PxRect(layout.TitleMm), Qt::AlignLeft | Qt::AlignVCenter, settings.Title);
  painter.setFont(PageFont(9));
  painter.drawText(PxRect(layout.TitleMm), Qt::AlignRight | Qt::AlignVCenter,
                   QString("1 : %1").arg(qlonglong(std::llround(layout.Denominator))));
  const QRect footer = PxRect(layout.FooterMm);
  const int right = footer.width() / 3;
  if (settings.Legend)
    DrawLegend(
        painter,
        QRect(footer.left(), footer.top() + 4, footer.width() - right - 8, footer.height() - 4),
        shown);
  const QRect side(footer.right() - right, footer.top() + 4, right, footer.height() - 4);
  if (settings.ScaleBar) {
    // The bar's length on paper is its ground length divided by the denominator.
    gfx::DrawScaleBar(painter,
                      QRect(side.left(), side.top(), side.width() - 40, side.height() - 18), scale);
  }
  if (settings.NorthArrow) DrawNorthArrow(painter, QPoint(side.right() - 16, side.top() + 2));
  painter.setFont(PageFont(8));
  painter.setPen(Qt::black);
  painter.drawText(QRect(side.left(), side.bottom() - 16, side.width(), 16),
                   Qt::AlignRight | Qt::AlignBottom, settings.Date.toString("dd.MM.yyyy"));
}
