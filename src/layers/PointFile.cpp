#include "PointFile.h"

#include "base/ByteOrder.h"
#include "base/FileError.h"

#include <numeric>

namespace {
constexpr int64_t kSlot = 28; // record header 8, shape type 4, X 8, Y 8
}

TPointFile::TPointFile(const QString& path) : File(path) {
  if (File.Size() <= TGeometryFile::kHeaderSize) return;
  Index = TRecordIndex::For(path);
  Fixed = Index->FixedPointRecords;
  if (!Fixed) ReadRecords();
}

void TPointFile::ReadRecords() {
  const auto bytes = File.Bytes();
  for (const TGeometryFile::Record& r : Index->Records) {
    const unsigned char* content = bytes.data() + r.Offset + 8;
    if (IsPointType(r.ShapeType) && r.ContentBytes >= 20) {
      Points.push_back({base::GetDoubleLE(content + 4), base::GetDoubleLE(content + 12), r.Index});
    } else if (IsMultiPointType(r.ShapeType) && r.ContentBytes >= 40) {
      const int64_t n = int64_t(base::GetU32LE(content + 36));
      if (n < 0 || 40 + 16 * n > r.ContentBytes) {
        Broken = QString("запис %1 (зміщення %2): %3 точок не вміщуються в його %4 байт")
                     .arg(r.Index + 1)
                     .arg(r.Offset)
                     .arg(n)
                     .arg(r.ContentBytes);
        return;
      }
      for (int64_t k = 0; k < n; ++k)
        Points.push_back({base::GetDoubleLE(content + 40 + 16 * k),
                          base::GetDoubleLE(content + 48 + 16 * k), r.Index});
    }
    // Null records and records of other shapes hold no point.
  }
}

int64_t TPointFile::Count() const {
  if (!Fixed) return int64_t(Points.size());
  return File.Size() <= TGeometryFile::kHeaderSize
             ? 0
             : (File.Size() - TGeometryFile::kHeaderSize) / kSlot;
}

int TPointFile::RecordCount() const {
  return Index ? int(Index->Records.size()) : 0;
}

bool TPointFile::At(int64_t point, double& X, double& Y, int& Record) const {
  if (point < 0 || point >= Count()) return false;
  if (!Fixed) {
    const Point& p = Points[size_t(point)];
    X = p.X;
    Y = p.Y;
    Record = p.Record;
    return true;
  }
  const unsigned char* p = File.Bytes().data() + TGeometryFile::kHeaderSize + kSlot * point + 12;
  X = base::GetDoubleLE(p);
  Y = base::GetDoubleLE(p + 8);
  Record = int(point);
  return true;
}

bool TPointFile::OfRecord(int record, double& X, double& Y) const {
  int r = -1;
  if (Fixed) return At(record, X, Y, r);
  for (const Point& p : Points)
    if (p.Record == record) {
      X = p.X;
      Y = p.Y;
      return true;
    }
  return false;
}

std::vector<int> TPointFile::Near(const TExtent* box) const {
  if (box && Fixed && Index && int64_t(Index->Records.size()) == Count())
    return Index->Candidates(box->XMin, box->YMin, box->XMax, box->YMax);
  std::vector<int> all(static_cast<size_t>(Count()));
  std::iota(all.begin(), all.end(), 0);
  return all;
}

void TPointFile::ThrowIfBroken() const {
  if (Broken) throw base::FileError(File.Path(), *Broken);
  if (Index && !Fixed) Index->ThrowIfBroken();
}
