#include "GeometryFile.h"

#include "base/ByteOrder.h"
#include "base/FileError.h"

#include <QPoint>
#include <map>

TGeometryFile::TGeometryFile(const QString& path) : File(path), Reader(File) {
  Rewind();
}

QString TGeometryFile::ShapeTypeName(int type) {
  static const std::map<int, const char*> names = {
      {0, "null shapes"},          {1, "points"},
      {3, "polylines"},            {5, "polygons"},
      {8, "multipoints"},          {11, "points with Z"},
      {13, "polylines with Z"},    {15, "polygons with Z"},
      {18, "multipoints with Z"},  {21, "points with M"},
      {23, "polylines with M"},    {25, "polygons with M"},
      {28, "multipoints with M"},  {31, "multipatches"}};
  const auto it = names.find(type);
  return QString("%1 (shape type %2)")
      .arg(it == names.end() ? "an unknown kind of shape" : it->second)
      .arg(type);
}

bool TGeometryFile::HasParts(int type) {
  return type == 3 || type == 5 || type == 13 || type == 15 || type == 23 || type == 25 ||
         type == 31;
}

void TGeometryFile::Rewind() {
  NextIndex = 0;
  Reader.Seek(std::min<int64_t>(kHeaderSize, Reader.Size()));
}

void TGeometryFile::Corrupt(const Record& r, const QString& what) const {
  throw base::FileError(
      File.Path(),
      QString("record %1 (at offset %2): %3").arg(r.Index + 1).arg(r.Offset).arg(what));
}

bool TGeometryFile::Next(Record& r) {
  if (Reader.Size() - Reader.Position() < 8) return false; // the end, or a few stray bytes after it
  r = Record();
  r.Index = NextIndex++;
  r.Offset = Reader.Position();
  const auto head = Reader.Read(8);
  r.ContentBytes = int64_t(base::GetU32BE(head.data() + 4)) * 2;
  if (int32_t(base::GetU32BE(head.data() + 4)) < 0 ||
      r.ContentBytes > Reader.Size() - Reader.Position())
    Corrupt(r,
            QString("its content of %1 bytes runs past the end of the file").arg(r.ContentBytes));
  const auto content = Reader.At(Reader.Position(), r.ContentBytes);
  Reader.Skip(r.ContentBytes);
  if (r.ContentBytes >= 4) r.ShapeType = int32_t(base::GetU32LE(content.data()));
  if ((r.ShapeType == 1 || r.ShapeType == 11 || r.ShapeType == 21) && r.ContentBytes >= 20) {
    // A point's box is the point itself.
    r.HasBox = true;
    r.XMin = r.XMax = base::GetDoubleLE(content.data() + 4);
    r.YMin = r.YMax = base::GetDoubleLE(content.data() + 12);
  } else if (r.ShapeType != 0 && r.ContentBytes >= 36) {
    r.HasBox = true;
    r.XMin = base::GetDoubleLE(content.data() + 4);
    r.YMin = base::GetDoubleLE(content.data() + 12);
    r.XMax = base::GetDoubleLE(content.data() + 20);
    r.YMax = base::GetDoubleLE(content.data() + 28);
  }
  return true;
}

bool TGeometryFile::Seek(int index, Record& r) {
  if (index < 0) return false;
  if (index < NextIndex) Rewind();
  while (Next(r))
    if (r.Index == index) return true;
  return false;
}

TGeometryFile::Parts TGeometryFile::ReadParts(const Record& r) const {
  Parts p;
  const int64_t content = r.Offset + 8;
  // Points and multipoints have no parts: reading them as parts would misread their points.
  if (!HasParts(r.ShapeType))
    Corrupt(r, "it holds " + ShapeTypeName(r.ShapeType) + ", not lines or polygons");
  if (r.ContentBytes < 44) Corrupt(r, "it is too short for a polyline or polygon");
  const auto counts = Reader.At(content + 36, 8);
  p.NumParts = int32_t(base::GetU32LE(counts.data()));
  p.NumPoints = int32_t(base::GetU32LE(counts.data() + 4));
  if (p.NumParts < 0 || p.NumPoints < 0) Corrupt(r, "a negative number of parts or points");
  // A multipatch gives each part a type after the part starts, before the points.
  const int64_t partBytes = (r.ShapeType == 31 ? 8 : 4) * int64_t(p.NumParts);
  const int64_t need = 44 + partBytes + 16 * int64_t(p.NumPoints);
  if (need > r.ContentBytes)
    Corrupt(r, QString("%1 parts and %2 points do not fit its %3 bytes")
                   .arg(p.NumParts)
                   .arg(p.NumPoints)
                   .arg(r.ContentBytes));
  const auto starts = Reader.At(content + 44, 4 * int64_t(p.NumParts));
  p.Starts.resize(size_t(p.NumParts) + 1);
  for (int32_t k = 0; k < p.NumParts; ++k) {
    const int32_t s = int32_t(base::GetU32LE(starts.data() + 4 * k));
    if (s < 0 || s > p.NumPoints || (k > 0 && s < p.Starts[size_t(k - 1)]))
      Corrupt(r, QString("part %1 starts at point %2 of %3").arg(k + 1).arg(s).arg(p.NumPoints));
    p.Starts[size_t(k)] = s;
  }
  p.Starts[size_t(p.NumParts)] = p.NumPoints;
  p.PointsOffset = content + 44 + partBytes;
  return p;
}

TWorldPoint TGeometryFile::PointAt(const Parts& p, int k) const {
  const auto bytes = Reader.At(p.PointsOffset + 16 * int64_t(k), 16);
  return {base::GetDoubleLE(bytes.data()), base::GetDoubleLE(bytes.data() + 8)};
}

void TGeometryFile::PartPixels(const Parts& p, int part, const TWorld& world,
                               std::vector<QPoint>& out, bool dropRepeats) const {
  const int32_t from = p.Starts[size_t(part)], to = p.Starts[size_t(part) + 1];
  out.clear();
  out.reserve(size_t(to - from));
  const auto bytes = Reader.At(p.PointsOffset + 16 * int64_t(from), 16 * int64_t(to - from));
  for (int32_t k = 0; k < to - from; ++k) {
    const unsigned char* b = bytes.data() + 16 * k;
    const QPoint pixel(world.WorldToScreenX(base::GetDoubleLE(b)),
                       world.WorldToScreenY(base::GetDoubleLE(b + 8)));
    if (!dropRepeats || out.empty() || out.back() != pixel) out.push_back(pixel);
  }
}
