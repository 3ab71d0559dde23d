#include "Distation.h"

#include "base/AtomicFile.h"
#include "base/FileError.h"
#include "gfx/Canvas.h"
#include "gfx/DrawHelpers.h"

#include <QFile>
#include <charconv>
#include <cmath>
#include <cstdio>

namespace {

constexpr uint32_t kRed = 0x000000FF;
constexpr uint32_t kBlue = 0x00FF0000;
constexpr uint32_t kYellow = 0x0000FFFF;
const char kSignature[] = "*Distations*";

bool SegmentVisible(const TWorld& w, const TWorldPoint& a, const TWorldPoint& b) {
  const TExtent& v = w.VisibleExtent;
  return TWorld::RectsIntersect(std::min(a.X, b.X), std::min(a.Y, b.Y), std::max(a.X, b.X),
                                std::max(a.Y, b.Y), v.XMin, v.YMin, v.XMax, v.YMax);
}

QPoint ToScreen(const TWorld& w, const TWorldPoint& p) {
  return {w.WorldToScreenX(p.X), w.WorldToScreenY(p.Y)};
}

// The segments between consecutive points whose boxes meet the visible extent, in the pen.
void DrawVisibleSegments(gfx::Canvas& canvas, const TWorld& w,
                         const std::vector<TWorldPoint>& points) {
  for (size_t k = 0; k + 1 < points.size(); ++k) {
    if (!SegmentVisible(w, points[k], points[k + 1])) continue;
    const QPoint a = ToScreen(w, points[k]), b = ToScreen(w, points[k + 1]);
    canvas.MoveTo(a.x(), a.y());
    canvas.LineTo(b.x(), b.y());
  }
}

// Reads the measurement file line by line, naming the file and line of any fault.
class LineReader {
public:
  LineReader(const QString& path, const QByteArray& text) : Path(path), Text(text) {}

  bool AtEnd() const { return Position >= Text.size(); }
  QByteArray Next() {
    if (AtEnd()) {
      ++Line;
      Fail("файл закінчується завчасно");
    }
    qsizetype end = Text.indexOf('\n', Position);
    if (end < 0) end = Text.size();
    QByteArray line = Text.mid(Position, end - Position);
    if (line.endsWith('\r')) line.chop(1);
    Position = end + 1;
    ++Line;
    return line;
  }
  int64_t NextInteger(const char* what) {
    const QByteArray line = Next().trimmed();
    bool ok = false;
    const qlonglong value = line.toLongLong(&ok);
    if (!ok) Fail(QString("%1 \"%2\" — не ціле число").arg(what, QString::fromLatin1(line)));
    return value;
  }
  // Two real numbers in any decimal or scientific notation; blanks may stand between them but
  // need not (a negative second number follows the first directly). The rest is ignored.
  TWorldPoint NextPoint() {
    const QByteArray line = Next();
    const char* p = line.constData();
    const char* end = p + line.size();
    TWorldPoint point;
    for (double* target : {&point.X, &point.Y}) {
      while (p < end && (*p == ' ' || *p == '\t'))
        ++p;
      if (p < end && *p == '+') ++p;
      const auto [next, error] = std::from_chars(p, end, *target);
      if (error != std::errc() || !std::isfinite(*target))
        Fail(QString("точка \"%1\" не містить двох чисел").arg(QString::fromLatin1(line)));
      p = next;
    }
    return point;
  }
  [[noreturn]] void Fail(const QString& what) const {
    throw base::FileError(Path, QString("рядок %1: %2").arg(Line).arg(what));
  }

private:
  QString Path;
  QByteArray Text;
  qsizetype Position = 0;
  int Line = 0;
};

} // namespace

// ---------------------------------------------------------------- TDistation

void TDistation::Clear() {
  Points.clear();
  SegmentLengths.clear();
  Value = 0;
}

int TDistation::AddPoint(const TWorld&, double X, double Y) {
  if (Kind == 0 && !Points.empty()) {
    const double d = TWorld::Distance(Points.back().X, Points.back().Y, X, Y);
    SegmentLengths.push_back(d);
    Value += d;
  }
  Points.push_back({X, Y});
  return int(Points.size()) - 1;
}

// ---------------------------------------------------------------- TDistationLayer

TDistationLayer::~TDistationLayer() = default;

void TDistationLayer::Clear() {
  // Current may be a finished measurement; it must not outlive it.
  if (Current && Current != Drawing.get()) Current = nullptr;
  Items.clear();
  SelectedIndex = -1;
  FoundX = -1.0;
  FoundY = -1.0;
}

void TDistationLayer::StartMeasurement(uint32_t Color, int16_t Kind) {
  Drawing = std::make_unique<TDistation>();
  Drawing->Color = Color;
  Drawing->Kind = Kind;
  Current = Drawing.get();
  Measuring = true;
}

void TDistationLayer::AddPoint(const TWorld& World, double X, double Y) {
  if (Measuring && Drawing) Drawing->AddPoint(World, X, Y);
}

void TDistationLayer::FinishMeasurement(const TWorld&) {
  if (!Measuring || !Drawing) return;
  if (Drawing->Kind != 0)
    Drawing->Value =
        Drawing->Points.size() < 2 ? 0 : std::fabs(TWorld::PolygonArea(Drawing->Points));
  Items.push_back(std::move(Drawing));
  Measuring = false;
}

void TDistationLayer::AbandonMeasurement() {
  if (!Measuring) return;
  Drawing.reset();
  Current = nullptr;
  Measuring = false;
}

void TDistationLayer::RemoveLastPoint() {
  if (!Measuring || !Drawing || Drawing->Points.empty()) return;
  Drawing->Points.pop_back();
  if (!Drawing->SegmentLengths.empty()) {
    Drawing->Value -= Drawing->SegmentLengths.back();
    Drawing->SegmentLengths.pop_back();
  }
  if (Drawing->SegmentLengths.empty()) Drawing->Value = 0;
}

void TDistationLayer::Delete(int Index) {
  if (Index < 0 || Index >= int(Items.size())) return;
  if (Current == Items[size_t(Index)].get()) Current = nullptr;
  Items.erase(Items.begin() + Index);
}

void TDistationLayer::DrawItem(gfx::Canvas& Canvas, const TWorld& World, const TDistation& d,
                               uint32_t Color, bool Label) const {
  Canvas.Pen.Color = Color;
  Canvas.Brush.Color = Color;
  const QPoint first = ToScreen(World, d.Points.front());
  QPoint anchor = first;
  if (d.Kind != 0) {
    std::vector<QPoint> ring;
    for (const TWorldPoint& p : d.Points)
      ring.push_back(ToScreen(World, p));
    Canvas.Brush.Style = 7; // diagonal cross
    Canvas.Polygon(ring);
    gfx::DrawFlag(Canvas, first.x(), first.y(), Color);
  } else {
    gfx::DrawFlag(Canvas, first.x(), first.y(), Color);
    Canvas.Pen.Color = Color;
    DrawVisibleSegments(Canvas, World, d.Points);
    anchor = ToScreen(World, d.Points.back());
    gfx::DrawFlag(Canvas, anchor.x(), anchor.y(), Color);
  }
  if (!Label) return;
  const QString text = FormatValue(d.Value);
  Canvas.TextHAlign = gfx::HAlign::Left;
  Canvas.TextVAlign = gfx::VAlign::Top;
  const int w = Canvas.TextWidth(text), h = Canvas.TextHeight(text);
  Canvas.Brush.Color = kYellow;
  Canvas.Brush.Style = 0;
  Canvas.FillRect(anchor.x(), anchor.y(), anchor.x() + w, anchor.y() + h);
  Canvas.Brush.Style = 1;
  Canvas.TextOut(anchor.x(), anchor.y(), text);
  Canvas.Pen.Width = 1;
  Canvas.Pen.Color = Color;
  Canvas.Rectangle(anchor.x() - 1, anchor.y() - 1, anchor.x() + w + 1, anchor.y() + h + 1);
  Canvas.Pen.Width = 2;
}

void TDistationLayer::Draw(gfx::Canvas& Canvas, const TWorld& World) const {
  Canvas.Pen = gfx::PenState{0, 0, 2, gfx::PenMode::Copy};
  Canvas.Font = gfx::FontState{};
  Canvas.Font.Name = "Arial";
  Canvas.Font.Size = 8;
  Canvas.Font.CharSet = 0;
  for (const auto& d : Items)
    if (!d->Points.empty()) DrawItem(Canvas, World, *d, d->Color, true);
}

void TDistationLayer::DrawCurrent(gfx::Canvas& Canvas, const TWorld& World) const {
  if (!Measuring || !Drawing) return;
  Canvas.Pen = gfx::PenState{kRed, 0, 1, gfx::PenMode::Copy};
  DrawVisibleSegments(Canvas, World, Drawing->Points);
}

int TDistationLayer::FindMeasurement(gfx::Canvas& Canvas, const TWorld& World, double X, double Y,
                                     bool Flash) {
  if (Items.empty()) return -1;
  const int sx = World.WorldToScreenX(X), sy = World.WorldToScreenY(Y);
  const double x1 = World.ScreenToWorldX(sx - 5), y1 = World.ScreenToWorldY(sy + 5);
  const double x2 = World.ScreenToWorldX(sx + 5), y2 = World.ScreenToWorldY(sy - 5);
  const double bx1 = std::min(x1, x2), bx2 = std::max(x1, x2);
  const double by1 = std::min(y1, y2), by2 = std::max(y1, y2);
  int found = -1;
  for (size_t i = 0; i < Items.size() && found < 0; ++i) {
    const TDistation& d = *Items[i];
    if (d.Points.empty()) continue;
    if (d.Kind != 0) {
      double xmin, ymin, xmax, ymax;
      TWorld::GetBounds(d.Points, int(d.Points.size()), xmin, ymin, xmax, ymax);
      // The containment test walks a closed ring.
      std::vector<TWorldPoint> ring = d.Points;
      ring.push_back(ring.front());
      if (TWorld::PointInRect(xmin, ymin, xmax, ymax, X, Y) &&
          TWorld::PointInPolygon(ring, int(ring.size()), X, Y)) {
        FoundX = (xmin + xmax) / 2;
        FoundY = (ymin + ymax) / 2;
        found = int(i);
      }
      continue;
    }
    for (size_t k = 0; k + 1 < d.Points.size(); ++k) {
      const TWorldPoint& a = d.Points[k];
      const TWorldPoint& b = d.Points[k + 1];
      if (!TWorld::SegmentCrossesRect(a.X, a.Y, b.X, b.Y, bx1, by1, bx2, by2)) continue;
      FoundX = (a.X + b.X) / 2;
      FoundY = (a.Y + b.Y) / 2;
      found = int(i);
      break;
    }
  }
  if (Flash) FlashMeasurement(found, Canvas, World);
  SelectedIndex = found;
  return found;
}

void TDistationLayer::FlashMeasurement(int Index, gfx::Canvas& Canvas, const TWorld& World) const {
  if (Index < 0 || Index >= int(Items.size()) || Items[size_t(Index)]->Points.empty()) return;
  const TDistation& d = *Items[size_t(Index)];
  const uint32_t alternate = d.Color == kRed ? kBlue : kRed;
  Canvas.Pen = gfx::PenState{d.Color, 0, 2, gfx::PenMode::Copy};
  for (int pass = 1; pass <= 6; ++pass) {
    DrawItem(Canvas, World, d, pass % 2 == 1 ? alternate : d.Color, false);
    Canvas.Flush();
    gfx::Delay(300);
  }
}

void TDistationLayer::GetFoundPoint(double& X, double& Y) const {
  X = FoundX;
  Y = FoundY;
}

int TDistationLayer::SelectedKind() const {
  if (SelectedIndex < 0 || SelectedIndex >= int(Items.size())) return -1;
  return Items[size_t(SelectedIndex)]->Kind;
}

double TDistationLayer::CurrentValue() const {
  return Current ? Current->Value : 0;
}

double TDistationLayer::LastSegmentLength() const {
  return Current && !Current->SegmentLengths.empty() ? Current->SegmentLengths.back() : 0;
}

int TDistationLayer::CurrentPointCount() const {
  return Measuring && Drawing ? int(Drawing->Points.size()) : 0;
}

// ---------------------------------------------------------------- files

QByteArray TDistationLayer::FormatReal(double Value) {
  // " d.ddddddddddddddE+dddd": a sign place, 14 decimals and a four-digit exponent.
  // Qt writes the decimal point whatever the locale; the C library would follow the desktop's.
  QByteArray text = QByteArray::number(std::fabs(Value), 'E', 14);
  const qsizetype e = text.indexOf('E');
  const int exponent = text.mid(e + 1).toInt();
  char tail[16];
  std::snprintf(tail, sizeof tail, "E%c%04d", exponent < 0 ? '-' : '+', std::abs(exponent));
  return (Value < 0 ? "-" : " ") + text.left(e) + tail;
}

QByteArray TDistationLayer::FileText() const {
  QByteArray text =
      QByteArray(kSignature) + "\r\n" + QByteArray::number(qsizetype(Items.size())) + "\r\n";
  for (size_t i = 0; i < Items.size(); ++i) {
    const TDistation& d = *Items[i];
    text += "Distation #" + QByteArray::number(qsizetype(i)) + "\r\n";
    text += QByteArray::number(int32_t(d.Color)) + "\r\n";
    text += QByteArray::number(d.Kind) + "\r\n";
    text += QByteArray::number(qsizetype(d.Points.size())) + "\r\n";
    for (const TWorldPoint& p : d.Points)
      text += FormatReal(p.X) + FormatReal(p.Y) + "\r\n";
  }
  return text;
}

void TDistationLayer::SaveToFile(const QString& FileName) const {
  base::AtomicFileWriter file(FileName);
  file.Write(FileText());
  file.Commit();
}

void TDistationLayer::LoadFromFile(const QString& FileName, const TWorld& World) {
  Clear();
  QFile file(FileName);
  if (!file.open(QIODevice::ReadOnly))
    throw base::FileError(FileName, "файл вимірів не відкривається: " + file.errorString());
  LineReader reader(FileName, file.readAll());
  file.close();
  if (reader.AtEnd() || reader.Next() != kSignature) return;
  const int64_t count = reader.NextInteger("кількість вимірів");
  try {
    for (int64_t i = 0; i < count; ++i) {
      reader.Next(); // "Distation #i"
      const auto colour = uint32_t(reader.NextInteger("колір"));
      const auto kind = int16_t(reader.NextInteger("вид"));
      const int64_t points = reader.NextInteger("кількість точок");
      StartMeasurement(colour, kind);
      for (int64_t k = 0; k < points; ++k) {
        const TWorldPoint p = reader.NextPoint();
        AddPoint(World, p.X, p.Y);
      }
      FinishMeasurement(World);
    }
  } catch (...) {
    AbandonMeasurement(); // the measurement being read when the fault came
    throw;
  }
}
