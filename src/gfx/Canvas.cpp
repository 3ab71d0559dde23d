#include "Canvas.h"
#include "SymbolFonts.h"

#include "base/TextCodec.h"

#include <QFontMetrics>
#include <algorithm>
#include <cmath>

namespace gfx {

QColor ToQColor(uint32_t c) {
  return QColor(int(c & 0xFF), int((c >> 8) & 0xFF), int((c >> 16) & 0xFF));
}
uint32_t FromQColor(const QColor& c) {
  return uint32_t(c.red()) | uint32_t(c.green()) << 8 | uint32_t(c.blue()) << 16;
}

Canvas::Canvas(QImage& image) : Target(image) {
  if (Target.format() != QImage::Format_RGB32 &&
      Target.format() != QImage::Format_ARGB32_Premultiplied)
    Target = Target.convertToFormat(QImage::Format_RGB32);
  Size = Target.size();
  Painter = std::make_unique<QPainter>(&Target);
  Painter->setRenderHint(QPainter::Antialiasing, false);
  Painter->setRenderHint(QPainter::TextAntialiasing, false);
  Painter->setRenderHint(QPainter::SmoothPixmapTransform, false);
}

Canvas::Canvas(QPaintDevice& device, QSize size) : Target(NoPicture), Size(size), Vector(true) {
  StampSymbols = false; // a stamp is a picture: symbols stay text on a vector surface
  Painter = std::make_unique<QPainter>(&device);
  // The device's own units to the canvas's pixels at 96 per inch.
  const double scale = double(device.logicalDpiX()) / 96.0;
  Painter->scale(scale, scale);
}

CanvasState Canvas::State() const {
  return {Pen, Brush, Font, int(TextHAlign), int(TextVAlign), Current};
}

void Canvas::SetState(const CanvasState& state) {
  Pen = state.Pen;
  Brush = state.Brush;
  Font = state.Font;
  TextHAlign = HAlign(state.HAlignment);
  TextVAlign = VAlign(state.VAlignment);
  Current = state.Current;
}

Canvas::~Canvas() {
  Painter->end();
}

void Canvas::SetMode(QPainter::CompositionMode mode) {
  if (Painter->compositionMode() == mode) return;
  Painter->setCompositionMode(mode);
  HeldPen.reset();
}

void Canvas::ApplyPen() {
  if (HeldPen == Pen) return;
  HeldPen = Pen;
  Painter->setCompositionMode(Pen.Mode == PenMode::NotXor
                                  ? QPainter::RasterOp_NotSourceXorDestination
                                  : QPainter::CompositionMode_SourceOver);
  const int style = Pen.Style & 0xFF;
  if (style == 5) {
    Painter->setPen(Qt::NoPen);
    return;
  }
  QPen pen(ToQColor(Pen.Color));
  pen.setWidth(std::max(1, Pen.Width));
  pen.setCapStyle(Qt::RoundCap);
  pen.setJoinStyle(Qt::RoundJoin);
  // As on the original platform, styled lines are drawn only one pixel wide; wider ones are solid.
  if (pen.width() <= 1) {
    switch (style) {
    case 1:
      pen.setStyle(Qt::DashLine);
      break;
    case 2:
      pen.setStyle(Qt::DotLine);
      break;
    case 3:
      pen.setStyle(Qt::DashDotLine);
      break;
    case 4:
      pen.setStyle(Qt::DashDotDotLine);
      break;
    default:
      break;
    }
    pen.setCapStyle(Qt::FlatCap);
  }
  if (pen.width() <= 1) pen.setCosmetic(true);
  Painter->setPen(pen);
}

void Canvas::ApplyBrush() {
  if (HeldBrush == Brush) return;
  HeldBrush = Brush;
  const QColor c = ToQColor(Brush.Color);
  switch (Brush.Style & 0xFF) {
  case 1:
    Painter->setBrush(Qt::NoBrush);
    break;
  case 2:
    Painter->setBrush(QBrush(c, Qt::HorPattern));
    break;
  case 3:
    Painter->setBrush(QBrush(c, Qt::VerPattern));
    break;
  case 4:
    Painter->setBrush(QBrush(c, Qt::FDiagPattern));
    break;
  case 5:
    Painter->setBrush(QBrush(c, Qt::BDiagPattern));
    break;
  case 6:
    Painter->setBrush(QBrush(c, Qt::CrossPattern));
    break;
  case 7:
    Painter->setBrush(QBrush(c, Qt::DiagCrossPattern));
    break;
  default:
    Painter->setBrush(QBrush(c, Qt::SolidPattern));
    break;
  }
}

void Canvas::MoveTo(int x, int y) {
  Current = {x, y};
}

void Canvas::LineTo(int x, int y) {
  ApplyPen();
  Painter->drawLine(Current, QPoint(x, y));
  Current = {x, y};
}

void Canvas::Polyline(std::span<const QPoint> points) {
  if (points.size() < 2) return;
  ApplyPen();
  Painter->drawPolyline(points.data(), int(points.size()));
}

void Canvas::Polygon(std::span<const QPoint> points) {
  if (points.empty()) return;
  ApplyPen();
  ApplyBrush();
  Painter->drawPolygon(points.data(), int(points.size()), Qt::OddEvenFill);
}

void Canvas::Ellipse(int x1, int y1, int x2, int y2) {
  const QRect box = FigureBox(x1, y1, x2, y2);
  const int pen = Pen.Style & 0xFF, brush = Brush.Style & 0xFF;
  if (StampSymbols && Pen.Mode == PenMode::Copy && (pen == 0 || pen == 5) &&
      (brush == 0 || brush == 1) && Pen.Width <= kFigureMargin / 2 && box.width() <= 64 &&
      box.height() <= 64 && box.width() > 0 && box.height() > 0) {
    const FigureStamp& stamp = EllipseStampOf(box);
    SetMode(QPainter::CompositionMode_SourceOver);
    Painter->drawImage(box.topLeft() - QPoint(kFigureMargin, kFigureMargin), stamp.Picture);
    return;
  }
  ApplyPen();
  ApplyBrush();
  Painter->drawEllipse(box);
}

const Canvas::FigureStamp& Canvas::EllipseStampOf(const QRect& box) {
  for (const FigureStamp& s : FigureStamps)
    if (s.Size == box.size() && s.Pen.Color == Pen.Color && s.Pen.Style == Pen.Style &&
        s.Pen.Width == Pen.Width && s.Brush.Color == Brush.Color && s.Brush.Style == Brush.Style)
      return s;
  if (FigureStamps.size() >= 64) FigureStamps.clear();
  const QImage picture =
      StampPicture(QRect(QPoint(-kFigureMargin, -kFigureMargin),
                         box.size() + QSize(2 * kFigureMargin, 2 * kFigureMargin)),
                   [&] {
                     ApplyPen();
                     ApplyBrush();
                     Painter->drawEllipse(QRect(QPoint(0, 0), box.size()));
                   });
  FigureStamps.push_back({Pen, Brush, box.size(), picture});
  return FigureStamps.back();
}

QRect Canvas::FigureBox(int x1, int y1, int x2, int y2) const {
  // The figure excludes the box's right and bottom edges, as on the original platform. Qt
  // strokes a one-pixel outline one pixel right of and below the box it is given, so that box
  // is one pixel smaller still.
  const int last = (Pen.Style & 0xFF) != 5 && Pen.Width <= 1 ? 2 : 1;
  return QRect(QPoint(std::min(x1, x2), std::min(y1, y2)),
               QPoint(std::max(x1, x2) - last, std::max(y1, y2) - last));
}

void Canvas::Rectangle(int x1, int y1, int x2, int y2) {
  ApplyPen();
  ApplyBrush();
  Painter->drawRect(FigureBox(x1, y1, x2, y2));
}

void Canvas::FillRect(int x1, int y1, int x2, int y2) {
  SetMode(QPainter::CompositionMode_SourceOver);
  ApplyBrush();
  Painter->setPen(Qt::NoPen);
  HeldPen.reset();
  Painter->drawRect(FigureBox(x1, y1, x2, y2));
}

QFont Canvas::MakeFont() const {
  QFont f(Font.Name);
  // The signs of a missing symbol font come from free fonts that carry them.
  if (DrawsThroughSymbolTable(Font.Name)) f.setFamilies(SymbolSignFamilies());
  // A size from a damaged style file must not make the font engine draw glyphs of gigabytes.
  const double pixels = std::round(Font.Size * 96.0 / 72.0);
  f.setPixelSize(std::isfinite(pixels) ? int(std::clamp(pixels, 1.0, double(kMaximumFontPixels)))
                                       : 1);
  f.setBold(Font.Bold);
  f.setItalic(Font.Italic);
  f.setUnderline(Font.Underline);
  f.setStrikeOut(Font.StrikeOut);
  f.setStyleStrategy(QFont::NoAntialias);
  return f;
}

const Canvas::LoadedFont& Canvas::CurrentFont() const {
  const FontState& f = Font;
  const bool same = Loaded && Loaded->Name == f.Name && Loaded->Size == f.Size &&
                    Loaded->Bold == f.Bold && Loaded->Italic == f.Italic &&
                    Loaded->Underline == f.Underline && Loaded->StrikeOut == f.StrikeOut;
  if (!same) {
    // Finding and loading a font costs far more than drawing a symbol with it.
    const QFont font = MakeFont();
    Loaded.emplace(LoadedFont{f.Name, f.Size, f.Bold, f.Italic, f.Underline, f.StrikeOut, font,
                              QFontMetrics(font)});
  }
  return *Loaded;
}

QString Canvas::FontText(const QString& text) const {
  // A symbol font this machine lacks: each character code becomes the Unicode sign of the same
  // picture.
  if (DrawsThroughSymbolTable(Font.Name)) return SymbolFontText(Font.Name, text);
  if (Font.CharSet != 2) return text;
  // Symbol fonts hold their characters at U+F020..U+F0FF. Where the font is missing and another
  // stands in for it without that range, the character itself is drawn instead of nothing.
  const QFontMetrics& metrics = CurrentFont().Metrics;
  QString mapped = text;
  for (QChar& c : mapped)
    if (c.unicode() >= 0x20 && c.unicode() <= 0xFF && metrics.inFontUcs4(0xF000u + c.unicode()))
      c = QChar(0xF000 + c.unicode());
  return mapped;
}

int Canvas::TextWidth(const QString& text) {
  return CurrentFont().Metrics.horizontalAdvance(FontText(text));
}
int Canvas::TextHeight(const QString&) {
  return CurrentFont().Metrics.height();
}

void Canvas::TextOut(int x, int y, const QString& text) {
  // Symbols (a character or two, upright, on a clear background) are stamped from their
  // pictures; the pixels are the same, as text is drawn without smoothing.
  if (StampSymbols && Font.Escapement == 0 && (Brush.Style & 0xFF) != 0 && text.size() <= 2 &&
      CurrentFont().Metrics.height() <= kMaximumStampHeight) {
    const Stamp& stamp = StampOf(text);
    const QPainter::CompositionMode mode = Painter->compositionMode();
    Painter->setCompositionMode(QPainter::CompositionMode_SourceOver);
    Painter->drawImage(QPoint(x, y) + stamp.Offset, stamp.Picture);
    Painter->setCompositionMode(mode);
    return;
  }
  // The pen and mode of the text are undone by the restore.
  Painter->save();
  Painter->setCompositionMode(QPainter::CompositionMode_SourceOver);
  Painter->translate(x, y);
  if (Font.Escapement != 0) Painter->rotate(-Font.Escapement / 10.0);
  DrawText(text);
  Painter->restore();
}

// Draws `text` at the painter's origin as the reference point, with the alignment and the
// background of the canvas's state.
void Canvas::DrawText(const QString& text) {
  const QFontMetrics& metrics = CurrentFont().Metrics;
  const QString shown = FontText(text);
  const int width = metrics.horizontalAdvance(shown);
  // The reference point of the text, in the text's own (unrotated) frame.
  int left = 0;
  if (TextHAlign == HAlign::Center)
    left = -width / 2;
  else if (TextHAlign == HAlign::Right)
    left = -width;
  int top = 0;
  if (TextVAlign == VAlign::Baseline)
    top = -metrics.ascent();
  else if (TextVAlign == VAlign::Bottom)
    top = -metrics.height();
  // A solid brush paints the text's background box, as an opaque background mode does.
  if ((Brush.Style & 0xFF) == 0)
    Painter->fillRect(QRect(left, top, width, metrics.height()), ToQColor(Brush.Color));
  Painter->setFont(CurrentFont().Font);
  Painter->setPen(ToQColor(Font.Color));
  Painter->drawText(QPoint(left, top + metrics.ascent()), shown);
}

const Canvas::Stamp& Canvas::StampOf(const QString& text) {
  const auto same = [&](const Stamp& s) {
    const FontState& f = s.Font;
    return s.Text == text && s.H == TextHAlign && s.V == TextVAlign && f.Name == Font.Name &&
           f.Size == Font.Size && f.CharSet == Font.CharSet && f.Bold == Font.Bold &&
           f.Italic == Font.Italic && f.Underline == Font.Underline &&
           f.StrikeOut == Font.StrikeOut && f.Color == Font.Color;
  };
  for (const Stamp& s : Stamps)
    if (same(s)) return s;
  if (Stamps.size() >= 64) Stamps.clear();
  // The picture covers the text's box and every pixel of its glyphs, with a margin.
  const QFontMetrics& metrics = CurrentFont().Metrics;
  const QString shown = FontText(text);
  const int width = metrics.horizontalAdvance(shown);
  QRect box = metrics.boundingRect(shown).translated(0, metrics.ascent());
  box = box.united(QRect(0, 0, std::max(width, 1), metrics.height()));
  box.adjust(-width - 4, -metrics.height() - 4, width + 4, metrics.height() + 4);
  Stamps.push_back({Font, TextHAlign, TextVAlign, text, StampPicture(box, [&] { DrawText(text); }),
                    box.topLeft()});
  return Stamps.back();
}

// A transparent picture of `area` (in the frame `paint` draws in), painted by `paint` with this
// canvas's own calls, unsmoothed as the canvas is.
QImage Canvas::StampPicture(const QRect& area, const std::function<void()>& paint) {
  QImage picture(area.size(), QImage::Format_ARGB32_Premultiplied);
  picture.fill(Qt::transparent);
  const std::optional<PenState> heldPen = HeldPen;
  const std::optional<BrushState> heldBrush = HeldBrush;
  HeldPen.reset();
  HeldBrush.reset();
  std::unique_ptr<QPainter> canvasPainter = std::move(Painter);
  Painter = std::make_unique<QPainter>(&picture);
  Painter->setRenderHint(QPainter::Antialiasing, false);
  Painter->setRenderHint(QPainter::TextAntialiasing, false);
  Painter->translate(-area.topLeft());
  paint();
  Painter->end();
  Painter = std::move(canvasPainter);
  HeldPen = heldPen;
  HeldBrush = heldBrush;
  return picture;
}

void Canvas::CopyRect(const QRect& to, const QImage& source, const QRect& from) {
  SetMode(QPainter::CompositionMode_Source);
  Painter->drawImage(to, source, from);
  SetMode(QPainter::CompositionMode_SourceOver);
}

void Canvas::Draw(int x, int y, const QImage& picture) {
  SetMode(QPainter::CompositionMode_SourceOver);
  Painter->drawImage(QPoint(x, y), picture);
}

void Canvas::DrawTransparent(int x, int y, const QImage& picture,
                             std::optional<uint32_t> transparent) {
  if (picture.isNull()) return;
  const QRgb key =
      transparent ? ToQColor(*transparent).rgb() : picture.pixel(0, picture.height() - 1);
  QImage masked = picture.convertToFormat(QImage::Format_ARGB32);
  for (int py = 0; py < masked.height(); ++py) {
    auto* line = reinterpret_cast<QRgb*>(masked.scanLine(py));
    for (int px = 0; px < masked.width(); ++px)
      if ((line[px] & 0x00FFFFFF) == (key & 0x00FFFFFF)) line[px] = 0;
  }
  SetMode(QPainter::CompositionMode_SourceOver);
  Painter->drawImage(QPoint(x, y), masked);
}

uint32_t Canvas::Pixel(int x, int y) const {
  if (Vector || x < 0 || y < 0 || x >= Target.width() || y >= Target.height()) return 0xFFFFFFFF;
  // The raster engine paints straight into the image, so it can be read while painting.
  return FromQColor(QColor(Target.pixel(x, y)));
}

} // namespace gfx
