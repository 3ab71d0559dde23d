#pragma once
// Writes geometry files in the layout of the ESRI shapefile main file (the atlas's `.mds`):
// a 100-byte header (file code 9994 and the file length in 16-bit words big-endian, version
// 1000, shape type and bounding box little-endian), then records of an 8-byte big-endian header
// (record number from 1, content length in 16-bit words) and the content: shape type, then X, Y
// for points, or bounding box, NumParts, NumPoints, part starts and points for polylines and
// polygons. Also the per-object style files that lie beside geometry files.

#include <QByteArray>
#include <QString>
#include <cstdint>
#include <vector>

namespace demo {

struct Point {
  double X = 0, Y = 0;
};

struct Extent {
  double XMin = 0, YMin = 0, XMax = 0, YMax = 0;
  bool Empty = true;
  void Add(const Point& p);
  void Add(const Extent& e);
};

using Ring = std::vector<Point>;

enum class ShapeType : int32_t { Point = 1, PolyLine = 3, Polygon = 5 };

class ShapeWriter {
public:
  explicit ShapeWriter(ShapeType type) : Type(type) {}

  void AddPoint(const Point& p);
  // A polyline of one or more parts, or a polygon of one or more rings (outer rings clockwise,
  // holes counter-clockwise, each closed by repeating its first point).
  void AddShape(const std::vector<Ring>& parts);

  size_t Count() const { return Records; }
  const Extent& Bounds() const { return Box; }
  // The complete file: header and records.
  QByteArray Bytes() const;
  // Writes the file through a temporary file; raises base::FileError.
  void Save(const QString& path) const;

private:
  void BeginRecord(int32_t contentBytes);

  ShapeType Type;
  QByteArray Body;
  Extent Box;
  size_t Records = 0;
};

// Per-object style records (no header; one record per geometry record, in the same order).
void AppendPointStyle(QByteArray& file, char symbol, uint32_t colour, double size,
                      const QString& font);
void AppendLineStyle(QByteArray& file, uint32_t penColour, int32_t penStyle, double penWidth);
void AppendPolygonStyle(QByteArray& file, uint32_t brushColour, int32_t brushStyle,
                        uint32_t penColour, int32_t penStyle, double penWidth);

} // namespace demo
