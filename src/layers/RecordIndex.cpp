#include "RecordIndex.h"

#include "base/FileError.h"

#include <QFile>
#include <QHash>
#include <algorithm>
#include <cmath>
#include <mutex>
#include <sys/stat.h>

namespace {

// The indexes of the files drawn last, the oldest given up beyond kCachedFiles.
struct CachedIndex {
  std::shared_ptr<const TRecordIndex> Index;
  uint64_t LastUse = 0;
};
constexpr int kCachedFiles = 64;
std::mutex CacheLock;
uint64_t UseCounter = 0;
QHash<QString, CachedIndex>& Cache() {
  static QHash<QString, CachedIndex> cache;
  return cache;
}

// A record spanning more cells than this is kept in one list checked for every extent.
constexpr int kMaxCellsPerRecord = 64;

// The device, inode, size, change and modification times of the file, and its first and last
// 100 bytes (the header holds the file's length and box).
QByteArray FileSignature(const QString& path) {
  QByteArray signature;
  struct stat st {};
  if (::stat(QFile::encodeName(path).constData(), &st) != 0) return signature;
  const int64_t fields[] = {int64_t(st.st_dev),          int64_t(st.st_ino),
                            int64_t(st.st_size),         int64_t(st.st_mtim.tv_sec),
                            int64_t(st.st_mtim.tv_nsec), int64_t(st.st_ctim.tv_sec),
                            int64_t(st.st_ctim.tv_nsec)};
  signature.append(reinterpret_cast<const char*>(fields), sizeof fields);
  QFile file(path);
  if (file.open(QIODevice::ReadOnly)) {
    signature += file.read(100);
    if (file.size() > 200 && file.seek(file.size() - 100)) signature += file.read(100);
  }
  return signature;
}

bool FiniteBox(const TGeometryFile::Record& r) {
  return r.HasBox && std::isfinite(r.XMin) && std::isfinite(r.YMin) && std::isfinite(r.XMax) &&
         std::isfinite(r.YMax);
}

} // namespace

std::shared_ptr<const TRecordIndex> TRecordIndex::For(const QString& path) {
  const QByteArray signature = FileSignature(path);
  std::lock_guard lock(CacheLock);
  auto& cache = Cache();
  if (auto it = cache.find(path);
      it != cache.end() && !signature.isEmpty() && it->Index->Signature == signature) {
    it->LastUse = ++UseCounter;
    return it->Index;
  }
  auto index = std::const_pointer_cast<TRecordIndex>(Walk(path));
  index->Signature = signature;
  if (cache.size() >= kCachedFiles && !cache.contains(path)) {
    auto oldest = cache.begin();
    for (auto it = cache.begin(); it != cache.end(); ++it)
      if (it->LastUse < oldest->LastUse) oldest = it;
    cache.erase(oldest);
  }
  cache.insert(path, CachedIndex{index, ++UseCounter});
  return index;
}

std::shared_ptr<const TRecordIndex> TRecordIndex::Walk(const QString& path) {
  auto index = std::make_shared<TRecordIndex>();
  index->Build(path);
  return index;
}

void TRecordIndex::Build(const QString& path) {
  Path = path;
  TGeometryFile file(path); // a file that cannot be opened raises here, as the walk would
  TGeometryFile::Record r;
  try {
    while (file.Next(r))
      Records.push_back(r);
  } catch (const base::FileError& e) {
    BrokenReason = e.Reason;
  }
  FixedPointRecords = !BrokenReason && std::all_of(Records.begin(), Records.end(), [](const auto& r) {
    return r.ShapeType == 1 && r.ContentBytes == 20 && r.Offset == 100 + 28 * int64_t(r.Index);
  });
  bool any = false;
  double x1 = 0, y1 = 0, x2 = 0, y2 = 0;
  for (const auto& rec : Records) {
    if (!FiniteBox(rec)) continue;
    x1 = any ? std::min(x1, rec.XMin) : rec.XMin;
    y1 = any ? std::min(y1, rec.YMin) : rec.YMin;
    x2 = any ? std::max(x2, rec.XMax) : rec.XMax;
    y2 = any ? std::max(y2, rec.YMax) : rec.YMax;
    any = true;
  }
  // About four records a cell.
  const int side = std::clamp(int(std::sqrt(double(Records.size()) / 4)), 1, 1024);
  Columns = Rows = side;
  X0 = x1;
  Y0 = y1;
  CellW = x2 > x1 ? (x2 - x1) / side : 1;
  CellH = y2 > y1 ? (y2 - y1) / side : 1;
  // Two passes over the records: how many each cell holds, then the records themselves, laid
  // out cell after cell in one array.
  const size_t cells = size_t(Columns) * size_t(Rows);
  CellStart.assign(cells + 1, 0);
  const auto place = [&](bool fill) {
    for (int i = 0; i < int(Records.size()); ++i) {
      const auto& rec = Records[size_t(i)];
      if (!rec.HasBox) continue;
      const int cx1 = CellX(rec.XMin), cx2 = CellX(rec.XMax), cy1 = CellY(rec.YMin),
                cy2 = CellY(rec.YMax);
      if (!FiniteBox(rec) || cx2 < cx1 || cy2 < cy1 ||
          int64_t(cx2 - cx1 + 1) * (cy2 - cy1 + 1) > kMaxCellsPerRecord) {
        if (fill) Large.push_back(i); // also boxes the grid cannot place: always candidates
        continue;
      }
      for (int y = cy1; y <= cy2; ++y)
        for (int x = cx1; x <= cx2; ++x) {
          const size_t cell = size_t(y) * size_t(Columns) + size_t(x);
          if (fill)
            CellItems[size_t(CellStart[cell]++)] = i;
          else
            ++CellStart[cell + 1];
        }
    }
  };
  place(false);
  for (size_t k = 0; k < cells; ++k)
    CellStart[k + 1] += CellStart[k];
  CellItems.resize(size_t(CellStart[cells]));
  place(true); // moves every start to the next cell's
  for (size_t k = cells; k > 0; --k)
    CellStart[k] = CellStart[k - 1];
  CellStart[0] = 0;
}

// The cell holding a coordinate, the edge cells for coordinates beyond the grid (and NaN).
static int Cell(double position, double origin, double size, int count) {
  const double c = std::floor((position - origin) / size);
  if (!(c > 0)) return 0;
  return c >= count - 1 ? count - 1 : int(c);
}

int TRecordIndex::CellX(double x) const {
  return Cell(x, X0, CellW, Columns);
}

int TRecordIndex::CellY(double y) const {
  return Cell(y, Y0, CellH, Rows);
}

std::vector<int> TRecordIndex::Candidates(double XMin, double YMin, double XMax,
                                          double YMax) const {
  const int cx1 = CellX(XMin), cx2 = CellX(XMax), cy1 = CellY(YMin), cy2 = CellY(YMax);
  // NaN or an empty extent, or most of the grid: every record with a box, already in file order.
  if (!UseGrid || !(XMin <= XMax) || !(YMin <= YMax) ||
      int64_t(cx2 - cx1 + 1) * (cy2 - cy1 + 1) * 2 > int64_t(CellStart.size() - 1)) {
    std::vector<int> all;
    for (int i = 0; i < int(Records.size()); ++i)
      if (Records[size_t(i)].HasBox) all.push_back(i);
    return all;
  }
  std::vector<int> out = Large;
  for (int y = cy1; y <= cy2; ++y)
    for (int x = cx1; x <= cx2; ++x) {
      const size_t cell = size_t(y) * size_t(Columns) + size_t(x);
      out.insert(out.end(), CellItems.begin() + CellStart[cell],
                 CellItems.begin() + CellStart[cell + 1]);
    }
  std::sort(out.begin(), out.end());
  out.erase(std::unique(out.begin(), out.end()), out.end());
  return out;
}

void TRecordIndex::ThrowIfBroken() const {
  if (BrokenReason) throw base::FileError(Path, *BrokenReason);
}

bool TRecordIndex::Seek(int index, TGeometryFile::Record& r) const {
  if (index < 0) return false;
  if (size_t(index) >= Records.size()) {
    ThrowIfBroken();
    return false;
  }
  r = Records[size_t(index)];
  return true;
}
