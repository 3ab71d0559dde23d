#include "MapPrintLayout.h"

#include "ClassSample.h"

#include "core/MapContent.h"
#include "gfx/Canvas.h"
#include "gfx/ScaleBar.h"

#include <QPagedPaintDevice>
#include <QPainter>
#include <QPainterPath>
#include <QTextDocument>
#include <algorithm>
#include <cmath>

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

// The legend's entries in columns across the footer's left part, as close as it takes for all
// of them to fit (three densities); returns how many were drawn. When even the closest leaves
// some out, the last place says how many.
size_t DrawLegend(QPainter& painter, const QRect& area,
                  const std::vector<const TClassObject*>& items) {
  struct Density {
    int Line, Column;
    double Points;
  };
  constexpr Density kDensities[] = {{18, 190, 7}, {15, 160, 6.5}, {12, 130, 6}};
  const auto capacity = [&](const Density& d) {
    const int rows = std::max(1, area.height() / d.Line);
    const int columns = std::max(1, (area.width() + d.Column / 2) / d.Column);
    return size_t(rows * columns);
  };
  Density d = kDensities[2];
  for (const Density& each : kDensities)
    if (capacity(each) >= items.size()) {
      d = each;
      break;
    }
  const int rows = std::max(1, area.height() / d.Line);
  const size_t room = capacity(d);
  const size_t drawn = items.size() > room ? room - 1 : items.size();
  painter.setFont(PageFont(d.Points));
  painter.setPen(Qt::black);
  const auto place = [&](size_t i) {
    return QPoint(area.left() + int(i) / rows * d.Column, area.top() + int(i) % rows * d.Line);
  };
  const int sampleHeight = d.Line - 2, sampleWidth = sampleHeight * 2;
  for (size_t i = 0; i < drawn; ++i) {
    const QPoint at = place(i);
    QImage sample(sampleWidth, sampleHeight, QImage::Format_RGB32);
    sample.fill(Qt::white);
    {
      gfx::Canvas canvas(sample);
      canvas.StampSymbols = false;
      DrawClassSample(canvas, *items[i], 2, QRect(0, 0, sampleWidth, sampleHeight), 0);
    }
    painter.drawImage(at, sample);
    painter.drawText(
        QRect(at.x() + sampleWidth + 4, at.y(), d.Column - sampleWidth - 8, sampleHeight),
        Qt::AlignVCenter | Qt::AlignLeft, items[i]->ClassName);
  }
  if (drawn < items.size())
    painter.drawText(QRect(place(drawn), QSize(d.Column - 4, sampleHeight)),
                     Qt::AlignVCenter | Qt::AlignLeft,
                     QString::fromUtf8("… і ще %1").arg(items.size() - drawn));
  return drawn;
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

namespace {

// The small index of the sheets: the grid, the sheet printed filled.
void DrawSheetIndex(QPainter& painter, const QRect& area, const TSheet& sheet) {
  const int cell = std::max(4, std::min(area.width() / sheet.Columns, area.height() / sheet.Rows));
  for (int r = 0; r < sheet.Rows; ++r)
    for (int c = 0; c < sheet.Columns; ++c) {
      const QRect box(area.left() + c * cell, area.top() + r * cell, cell, cell);
      painter.setPen(QPen(Qt::black, 1));
      painter.setBrush(c == sheet.Column && r == sheet.Row ? QBrush(Qt::darkGray) : Qt::NoBrush);
      painter.drawRect(box);
    }
  painter.setBrush(Qt::NoBrush);
}

// The marks drawn at three times the page's 96 pixels per inch, so that they stay sharp on
// paper, over the map frame whose top left corner is the painter's origin.
void DrawMarks(QPainter& painter, const TMapContent& content, const TPrintLayout& layout,
               QSize frame, const std::vector<TSelectedObject>& marks) {
  if (marks.empty()) return;
  constexpr int kFine = 3;
  TWorld world = content.World;
  world.SetView(frame.width() * kFine, frame.height() * kFine, layout.View.XMin, layout.View.YMin,
                layout.View.XMax, layout.View.YMax);
  world.ComputeScale(layout.MapMm.width());
  const TSelectionMarks drawn = DrawSelectionMarks(content, world, frame * kFine, marks, 2 * kFine);
  if (drawn.Image.isNull()) return;
  painter.drawImage(QRectF(QPointF(drawn.At) / kFine, QSizeF(drawn.Image.size()) / kFine),
                    drawn.Image);
}

void DrawOnCanvas(gfx::Canvas& canvas, TMapContent& content, const TPrintSettings& settings,
                  const std::vector<const TClassObject*>& legend,
                  const std::function<void(const QString&)>& onError, const TSheet* sheet) {
  const TPrintLayout layout = LayOutPage(settings);
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
  DrawMarks(painter, content, layout, frame.size(), settings.Marks);
  painter.restore();
  canvas.ForgetPainterState();
  content.Threads = threads;
  // Which classes the sheet shows: those of layers switched on, drawn at this scale and whose
  // objects reach into the sheet's part of the map.
  const TExtent& v = layout.View;
  const auto reaches = [&](const TCustomLayer& l) {
    return l.PrimitiveType >= 100 ||
           !(l.Xm < v.XMin || l.X0 > v.XMax || l.Ym < v.YMin || l.Y0 > v.YMax);
  };
  std::vector<const TClassObject*> shown;
  for (const TClassObject* c : legend)
    for (const auto& layer : content.Layers)
      if (layer->Category == c->Category && layer->Class == c->Class && layer->Visibled &&
          layer->ScaleAllowsDrawing(scale) && reaches(*layer)) {
        shown.push_back(c);
        break;
      }
  content.World = saved;

  painter.setPen(QPen(Qt::black, 1));
  painter.setBrush(Qt::NoBrush);
  painter.drawRect(frame);
  painter.setFont(PageFont(14, true));
  const QString title =
      sheet && sheet->Columns * sheet->Rows > 1
          ? settings.Title + QString::fromUtf8(" — аркуш %1 з %2")
                                 .arg(sheet->Row * sheet->Columns + sheet->Column + 1)
                                 .arg(sheet->Columns * sheet->Rows)
          : settings.Title;
  painter.drawText(PxRect(layout.TitleMm), Qt::AlignLeft | Qt::AlignVCenter, title);
  painter.setFont(PageFont(9));
  painter.drawText(PxRect(layout.TitleMm), Qt::AlignRight | Qt::AlignVCenter,
                   QString("1 : %1").arg(qlonglong(std::llround(layout.Denominator))));
  const QRect footer = PxRect(layout.FooterMm);
  const int right = footer.width() / 3;
  if (settings.Legend) {
    const size_t drawn = DrawLegend(
        painter,
        QRect(footer.left(), footer.top() + 4, footer.width() - right - 8, footer.height() - 4),
        shown);
    if (drawn < shown.size() && onError)
      onError(QString::fromUtf8("Легенда: %1 з %2 шарів аркуша не вмістилися (%3 і далі)")
                  .arg(shown.size() - drawn)
                  .arg(shown.size())
                  .arg(shown[drawn]->ClassName));
  }
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
  if (sheet && sheet->Columns * sheet->Rows > 1)
    DrawSheetIndex(painter, QRect(side.left() + side.width() / 2 - 30, side.top() + 2, 60, 60),
                   *sheet);
}

} // namespace

TSheetPlan PlanSheets(const TPrintSettings& settings) {
  TSheetPlan plan;
  const TPrintLayout layout = LayOutPage(settings);
  if (!settings.Sheets || !(settings.Denominator > 0)) {
    plan.Centres.push_back(
        {(layout.View.XMin + layout.View.XMax) / 2, (layout.View.YMin + layout.View.YMax) / 2});
    return plan;
  }
  const TExtent& a = settings.Area;
  const double frameW = layout.View.XMax - layout.View.XMin;
  const double frameH = layout.View.YMax - layout.View.YMin;
  const double overlap = kSheetOverlapMm / 1000 * layout.Denominator;
  const auto count = [](double area, double frame, double overlap) {
    if (area <= frame) return 1;
    return int(std::ceil((area - overlap) / (frame - overlap)));
  };
  plan.Columns = std::min(20, count(a.XMax - a.XMin, frameW, overlap));
  plan.Rows = std::min(20, count(a.YMax - a.YMin, frameH, overlap));
  // The sheets' grid centred on the area, west to east, north to south.
  const double gridW = plan.Columns * frameW - (plan.Columns - 1) * overlap;
  const double gridH = plan.Rows * frameH - (plan.Rows - 1) * overlap;
  const double left = (a.XMin + a.XMax) / 2 - gridW / 2, top = (a.YMin + a.YMax) / 2 + gridH / 2;
  for (int r = 0; r < plan.Rows; ++r)
    for (int c = 0; c < plan.Columns; ++c)
      plan.Centres.push_back(
          {left + c * (frameW - overlap) + frameW / 2, top - r * (frameH - overlap) - frameH / 2});
  return plan;
}

void DrawPrintPage(QPaintDevice& device, TMapContent& content, const TPrintSettings& settings,
                   const std::vector<const TClassObject*>& legend,
                   const std::function<void(const QString&)>& onError) {
  const TPrintLayout layout = LayOutPage(settings);
  gfx::Canvas canvas(device, QSize(Px(layout.PageMm.width()), Px(layout.PageMm.height())));
  DrawOnCanvas(canvas, content, settings, legend, onError, nullptr);
}

void DrawPrintPages(QPagedPaintDevice& device, TMapContent& content, const TPrintSettings& settings,
                    const std::vector<const TClassObject*>& legend,
                    const std::function<void(const QString&)>& onError) {
  const TSheetPlan plan = PlanSheets(settings);
  const TPrintLayout layout = LayOutPage(settings);
  gfx::Canvas canvas(device, QSize(Px(layout.PageMm.width()), Px(layout.PageMm.height())));
  TPrintSettings sheetSettings = settings;
  for (size_t i = 0; i < plan.Centres.size(); ++i) {
    if (i > 0) device.newPage();
    sheetSettings.CentreX = plan.Centres[i].first;
    sheetSettings.CentreY = plan.Centres[i].second;
    const TSheet sheet{int(i) % plan.Columns, int(i) / plan.Columns, plan.Columns, plan.Rows};
    DrawOnCanvas(canvas, content, sheetSettings, legend, onError, &sheet);
    canvas.ForgetPainterState();
  }
  if (settings.ListPageHtml.isEmpty()) return;
  // The text laid out on the page's 96 pixels per inch inside 15 mm margins, on as many pages
  // as it fills.
  QPainter& painter = canvas.Surface();
  const double margin = Px(15);
  QTextDocument document;
  document.setDefaultFont(PageFont(10));
  document.setHtml(settings.ListPageHtml);
  const QSizeF page(Px(layout.PageMm.width()) - 2 * margin,
                    Px(layout.PageMm.height()) - 2 * margin);
  document.setPageSize(page);
  for (int k = 0; k < document.pageCount(); ++k) {
    device.newPage();
    painter.save();
    painter.translate(margin, margin - k * page.height());
    document.drawContents(&painter, QRectF(QPointF(0, k * page.height()), page));
    painter.restore();
  }
  canvas.ForgetPainterState();
}
