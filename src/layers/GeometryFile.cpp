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
      {0, "порожні фігури"},   {1, "точки"},       {3, "ламані"},      {5, "полігони"},
      {8, "мультиточки"},      {11, "точки з Z"},  {13, "ламані з Z"}, {15, "полігони з Z"},
      {18, "мультиточки з Z"}, {21, "точки з M"},  {23, "ламані з M"}, {25, "полігони з M"},
      {28, "мультиточки з M"}, {31, "мультипатчі"}};
  const auto it = names.find(type);
  return QString("%1 (тип фігури %2)")
      .arg(it == names.end() ? "невідомий вид фігур" : it->second)
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
      File.Path(), QString("запис %1 (зміщення %2): %3").arg(r.Index + 1).arg(r.Offset).arg(what));
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
    Corrupt(r, QString("його вміст у %1 байт виходить за кінець файлу").arg(r.ContentBytes));
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
    Corrupt(r, "він містить " + ShapeTypeName(r.ShapeType) + ", а не лінії чи полігони");
  if (r.ContentBytes < 44) Corrupt(r, "він закороткий для ламаної чи полігону");
  const auto counts = Reader.At(content + 36, 8);
  p.NumParts = int32_t(base::GetU32LE(counts.data()));
  p.NumPoints = int32_t(base::GetU32LE(counts.data() + 4));
  if (p.NumParts < 0 || p.NumPoints < 0) Corrupt(r, "від'ємна кількість частин або точок");
  // A multipatch gives each part a type after the part starts, before the points.
  const int64_t partBytes = (r.ShapeType == 31 ? 8 : 4) * int64_t(p.NumParts);
  const int64_t need = 44 + partBytes + 16 * int64_t(p.NumPoints);
  if (need > r.ContentBytes)
    Corrupt(r, QString("%1 частин і %2 точок не вміщуються в його %3 байт")
                   .arg(p.NumParts)
                   .arg(p.NumPoints)
                   .arg(r.ContentBytes));
  const auto starts = Reader.At(content + 44, 4 * int64_t(p.NumParts));
  p.Starts.resize(size_t(p.NumParts) + 1);
  for (int32_t k = 0; k < p.NumParts; ++k) {
    const int32_t s = int32_t(base::GetU32LE(starts.data() + 4 * k));
    if (s < 0 || s > p.NumPoints || (k > 0 && s < p.Starts[size_t(k - 1)]))
      Corrupt(
          r, QString("частина %1 починається з точки %2 із %3").arg(k + 1).arg(s).arg(p.NumPoints));
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
