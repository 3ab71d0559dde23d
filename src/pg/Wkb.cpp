#include "Wkb.h"

#include "Connection.h"

#include "base/ByteOrder.h"

#include <QString>
#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

namespace pg {

namespace {

struct TPoint {
  double X = 0, Y = 0;
};
using TRing = std::vector<TPoint>;

// --- record content ---

struct TRecordReader {
  const QByteArray& Bytes;
  int32_t I32(qsizetype at) const {
    if (at + 4 > Bytes.size()) throw Error("WKB: запис коротший, ніж каже його заголовок");
    return int32_t(base::GetU32LE(reinterpret_cast<const unsigned char*>(Bytes.constData()) + at));
  }
  double F64(qsizetype at) const {
    if (at + 8 > Bytes.size()) throw Error("WKB: запис коротший, ніж каже його заголовок");
    return base::GetDoubleLE(reinterpret_cast<const unsigned char*>(Bytes.constData()) + at);
  }
};

std::vector<TRing> RecordParts(const QByteArray& content) {
  const TRecordReader r{content};
  const int32_t parts = r.I32(36), points = r.I32(40);
  if (parts < 0 || points < 0 ||
      44 + qsizetype(parts) * 4 + qsizetype(points) * 16 > content.size())
    throw Error("WKB: запис коротший, ніж каже його заголовок");
  std::vector<TRing> rings(static_cast<size_t>(parts));
  for (int32_t p = 0; p < parts; ++p) {
    const int32_t first = r.I32(44 + p * 4),
                  last = p + 1 < parts ? r.I32(44 + (p + 1) * 4) : points;
    for (int32_t k = std::max(0, first); k < std::min(last, points); ++k) {
      const qsizetype at = 44 + qsizetype(parts) * 4 + qsizetype(k) * 16;
      rings[size_t(p)].push_back({r.F64(at), r.F64(at + 8)});
    }
  }
  return rings;
}

// Twice the signed area: negative for a clockwise ring.
double SignedArea(const TRing& ring) {
  double sum = 0;
  for (size_t i = 0, j = ring.size() - 1; i < ring.size(); j = i++)
    sum += (ring[j].X * ring[i].Y) - (ring[i].X * ring[j].Y);
  return sum;
}

// --- WKB writing (little-endian) ---

void U8(QByteArray& out, uint8_t v) {
  out.append(char(v));
}
void U32(QByteArray& out, uint32_t v) {
  char b[4];
  base::PutU32LE(b, v);
  out.append(b, 4);
}
void F64(QByteArray& out, double v) {
  char b[8];
  base::PutDoubleLE(b, v);
  out.append(b, 8);
}
void Head(QByteArray& out, uint32_t type) {
  U8(out, 1);
  U32(out, type);
}
void Points(QByteArray& out, const TRing& ring) {
  U32(out, uint32_t(ring.size()));
  for (const TPoint& p : ring)
    F64(out, p.X), F64(out, p.Y);
}

// --- WKB reading ---

struct TWkbReader {
  const QByteArray& Bytes;
  qsizetype At = 0;
  bool Little = true;
  void Need(qsizetype n) const {
    if (At + n > Bytes.size()) throw Error("WKB: фігура обривається");
  }
  uint32_t U32() {
    Need(4);
    const char* p = Bytes.constData() + At;
    At += 4;
    return Little ? base::GetU32LE(p) : base::GetU32BE(p);
  }
  double F64() {
    Need(8);
    const char* p = Bytes.constData() + At;
    At += 8;
    return Little ? base::GetDoubleLE(p) : base::GetDoubleBE(p);
  }
  uint32_t Type() {
    Need(1);
    Little = Bytes[At++] == 1;
    const uint32_t type = U32();
    if (type & 0xE0000000u || type > 7) throw Error("WKB: фігура з Z, M чи SRID не підтримується");
    return type;
  }
  TRing Points() {
    const uint32_t n = U32();
    Need(qsizetype(n) * 16);
    TRing ring;
    for (uint32_t k = 0; k < n; ++k) {
      const double x = F64(), y = F64();
      ring.push_back({x, y});
    }
    return ring;
  }
  // Every ring or line of the shape, in order, with the polygon each belongs to.
  void Collect(std::vector<TRing>& rings, std::vector<TPoint>& points) {
    const uint32_t type = Type();
    switch (type) {
    case 1: {
      const double x = F64(), y = F64();
      points.push_back({x, y});
      break;
    }
    case 2:
      rings.push_back(Points());
      break;
    case 3:
      for (uint32_t n = U32(), k = 0; k < n; ++k)
        rings.push_back(Points());
      break;
    default: // multi-geometries and collections: their members in turn
      for (uint32_t n = U32(), k = 0; k < n; ++k)
        Collect(rings, points);
    }
  }
};

} // namespace

std::optional<QByteArray> RecordToWkb(const QByteArray& content) {
  if (content.size() < 4) return std::nullopt;
  const TRecordReader r{content};
  const int32_t type = r.I32(0);
  QByteArray out;
  if (type == 1) {
    Head(out, 1);
    F64(out, r.F64(4));
    F64(out, r.F64(12));
    return out;
  }
  if (type != 3 && type != 5 && type != 8) return std::nullopt;
  if (type == 8) {
    const int32_t n = r.I32(36);
    if (n < 0 || 40 + qsizetype(n) * 16 > content.size())
      throw Error("WKB: запис коротший, ніж каже його заголовок");
    Head(out, 4);
    U32(out, uint32_t(n));
    for (int32_t k = 0; k < n; ++k) {
      Head(out, 1);
      F64(out, r.F64(40 + k * 16));
      F64(out, r.F64(48 + k * 16));
    }
    return out;
  }
  const std::vector<TRing> rings = RecordParts(content);
  if (type == 3) {
    Head(out, 5);
    U32(out, uint32_t(rings.size()));
    for (const TRing& ring : rings) {
      Head(out, 2);
      Points(out, ring);
    }
    return out;
  }
  // Polygons: a clockwise ring (or the first ring) begins one, the others are its holes.
  std::vector<std::vector<const TRing*>> polygons;
  for (const TRing& ring : rings)
    if (polygons.empty() || SignedArea(ring) < 0)
      polygons.push_back({&ring});
    else
      polygons.back().push_back(&ring);
  Head(out, 6);
  U32(out, uint32_t(polygons.size()));
  for (const auto& polygon : polygons) {
    Head(out, 3);
    U32(out, uint32_t(polygon.size()));
    for (const TRing* ring : polygon)
      Points(out, *ring);
  }
  return out;
}

QByteArray WkbToRecord(const QByteArray& wkb, int shapeType) {
  std::vector<TRing> rings;
  std::vector<TPoint> points;
  TWkbReader reader{wkb};
  reader.Collect(rings, points);
  QByteArray out;
  U32(out, uint32_t(shapeType));
  if (shapeType == 1) {
    if (points.size() != 1 || !rings.empty())
      throw Error("WKB: у файл точок можна записати лише одну точку");
    F64(out, points[0].X);
    F64(out, points[0].Y);
    return out;
  }
  double xmin = std::numeric_limits<double>::infinity(), ymin = xmin, xmax = -xmin, ymax = -xmin;
  const auto grow = [&](const TPoint& p) {
    xmin = std::min(xmin, p.X), ymin = std::min(ymin, p.Y);
    xmax = std::max(xmax, p.X), ymax = std::max(ymax, p.Y);
  };
  if (shapeType == 8) {
    if (!rings.empty()) throw Error("WKB: у файл мультиточок можна записати лише точки");
    for (const TPoint& p : points)
      grow(p);
    F64(out, xmin), F64(out, ymin), F64(out, xmax), F64(out, ymax);
    U32(out, uint32_t(points.size()));
    for (const TPoint& p : points)
      F64(out, p.X), F64(out, p.Y);
    return out;
  }
  if ((shapeType != 3 && shapeType != 5) || !points.empty())
    throw Error(QString::fromUtf8("WKB: фігуру не можна записати у файл типу %1").arg(shapeType));
  uint32_t total = 0;
  for (const TRing& ring : rings) {
    for (const TPoint& p : ring)
      grow(p);
    total += uint32_t(ring.size());
  }
  F64(out, xmin), F64(out, ymin), F64(out, xmax), F64(out, ymax);
  U32(out, uint32_t(rings.size()));
  U32(out, total);
  uint32_t start = 0;
  for (const TRing& ring : rings) {
    U32(out, start);
    start += uint32_t(ring.size());
  }
  for (const TRing& ring : rings)
    for (const TPoint& p : ring)
      F64(out, p.X), F64(out, p.Y);
  return out;
}

} // namespace pg
