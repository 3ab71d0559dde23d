#include "ShapeWriter.h"

#include "base/AtomicFile.h"
#include "base/ByteOrder.h"
#include "base/TextCodec.h"

#include <algorithm>
#include <cstring>

namespace demo {
namespace {

void AppendU32BE(QByteArray& out, uint32_t v) {
  char b[4];
  base::PutU32BE(b, v);
  out.append(b, 4);
}
void AppendU32LE(QByteArray& out, uint32_t v) {
  char b[4];
  base::PutU32LE(b, v);
  out.append(b, 4);
}
void AppendDouble(QByteArray& out, double v) {
  char b[8];
  base::PutDoubleLE(b, v);
  out.append(b, 8);
}

} // namespace

void Extent::Add(const Point& p) {
  if (Empty) {
    XMin = XMax = p.X;
    YMin = YMax = p.Y;
    Empty = false;
    return;
  }
  XMin = std::min(XMin, p.X);
  YMin = std::min(YMin, p.Y);
  XMax = std::max(XMax, p.X);
  YMax = std::max(YMax, p.Y);
}

void Extent::Add(const Extent& e) {
  if (e.Empty) return;
  Add(Point{e.XMin, e.YMin});
  Add(Point{e.XMax, e.YMax});
}

void ShapeWriter::BeginRecord(int32_t contentBytes) {
  ++Records;
  AppendU32BE(Body, uint32_t(Records));
  AppendU32BE(Body, uint32_t(contentBytes / 2));
}

void ShapeWriter::AddPoint(const Point& p) {
  BeginRecord(20);
  AppendU32LE(Body, uint32_t(ShapeType::Point));
  AppendDouble(Body, p.X);
  AppendDouble(Body, p.Y);
  Box.Add(p);
}

void ShapeWriter::AddShape(const std::vector<Ring>& parts) {
  int32_t points = 0;
  Extent box;
  for (const Ring& r : parts) {
    points += int32_t(r.size());
    for (const Point& p : r)
      box.Add(p);
  }
  BeginRecord(44 + 4 * int32_t(parts.size()) + 16 * points);
  AppendU32LE(Body, uint32_t(Type));
  AppendDouble(Body, box.XMin);
  AppendDouble(Body, box.YMin);
  AppendDouble(Body, box.XMax);
  AppendDouble(Body, box.YMax);
  AppendU32LE(Body, uint32_t(parts.size()));
  AppendU32LE(Body, uint32_t(points));
  int32_t start = 0;
  for (const Ring& r : parts) {
    AppendU32LE(Body, uint32_t(start));
    start += int32_t(r.size());
  }
  for (const Ring& r : parts)
    for (const Point& p : r) {
      AppendDouble(Body, p.X);
      AppendDouble(Body, p.Y);
    }
  Box.Add(box);
}

QByteArray ShapeWriter::Bytes() const {
  QByteArray header(100, '\0');
  base::PutU32BE(header.data(), 9994);
  base::PutU32BE(header.data() + 24, uint32_t((100 + Body.size()) / 2));
  base::PutU32LE(header.data() + 28, 1000);
  base::PutU32LE(header.data() + 32, uint32_t(Type));
  base::PutDoubleLE(header.data() + 36, Box.XMin);
  base::PutDoubleLE(header.data() + 44, Box.YMin);
  base::PutDoubleLE(header.data() + 52, Box.XMax);
  base::PutDoubleLE(header.data() + 60, Box.YMax);
  return header + Body;
}

void ShapeWriter::Save(const QString& path) const {
  base::WriteFileAtomically(path, Bytes());
}

void AppendPointStyle(QByteArray& file, char symbol, uint32_t colour, double size,
                      const QString& font) {
  char record[45] = {};
  record[0] = symbol;
  base::PutU32LE(record + 1, colour);
  base::PutDoubleLE(record + 5, size);
  const QByteArray name = base::Encode(font, base::CodePage::Cp1251).left(31);
  record[13] = char(name.size());
  std::memcpy(record + 14, name.constData(), size_t(name.size()));
  file.append(record, 45);
}

void AppendLineStyle(QByteArray& file, uint32_t penColour, int32_t penStyle, double penWidth) {
  char record[16];
  base::PutU32LE(record, penColour);
  base::PutU32LE(record + 4, uint32_t(penStyle));
  base::PutDoubleLE(record + 8, penWidth);
  file.append(record, 16);
}

void AppendPolygonStyle(QByteArray& file, uint32_t brushColour, int32_t brushStyle,
                        uint32_t penColour, int32_t penStyle, double penWidth) {
  char record[24];
  base::PutU32LE(record, brushColour);
  base::PutU32LE(record + 4, uint32_t(brushStyle));
  base::PutU32LE(record + 8, penColour);
  base::PutU32LE(record + 12, uint32_t(penStyle));
  base::PutDoubleLE(record + 16, penWidth);
  file.append(record, 24);
}

} // namespace demo
