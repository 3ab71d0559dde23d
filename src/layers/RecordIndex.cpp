#include "RecordIndex.h"

#include "base/FileError.h"
#include "base/RemoteFiles.h"

#include <QFile>
#include <QHash>
#include <algorithm>
#include <cmath>
#include <cstring>
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

// The kind of derived file a walk is kept as (its layout's version in the name).
const QString kKeptKind = "record-index-1";

// A record spanning more cells than this is kept in one list checked for every extent.
constexpr int kMaxCellsPerRecord = 64;

// The device, inode, size, change and modification times of the file, and its first and last
// 100 bytes (the header holds the file's length and box).
QByteArray FileSignature(const QString& path) {
  if (const base::RemoteFileKind* remote = base::RemoteFileKindOf(path))
    return remote->Signature(path).toUtf8(); // the store's count of the file's changes
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
  const QByteArray stamp = base::DerivedCache::Stamp(path);
  if (index->TakeKept(base::DerivedCache::Load(path, kKeptKind, stamp))) {
    index->Path = path;
    return index;
  }
  index->Build(path);
  if (!index->BrokenReason) base::DerivedCache::Store(path, kKeptKind, stamp, index->KeptContent());
  return index;
}

// The layout of a kept index: this header, then the records, the cell starts, the cell items
// and the large records, each array aligned to its type.
struct TRecordIndex::KeptHeader {
  uint32_t RecordBytes = sizeof(TGeometryFile::Record);
  uint32_t FixedPoints = 0;
  double X0 = 0, Y0 = 0, CellW = 1, CellH = 1;
  int32_t Columns = 0, Rows = 0;
  uint64_t Records = 0, CellStarts = 0, CellItems = 0, Large = 0;
};

QByteArray TRecordIndex::KeptContent() const {
  KeptHeader h;
  h.FixedPoints = FixedPointRecords;
  h.X0 = X0;
  h.Y0 = Y0;
  h.CellW = CellW;
  h.CellH = CellH;
  h.Columns = Columns;
  h.Rows = Rows;
  h.Records = Records.size();
  h.CellStarts = CellStart.size();
  h.CellItems = CellItems.size();
  h.Large = Large.size();
  QByteArray content(reinterpret_cast<const char*>(&h), sizeof h);
  base::AppendArray(content, Records);
  base::AppendArray(content, CellStart);
  base::AppendArray(content, CellItems);
  base::AppendArray(content, Large);
  return content;
}

bool TRecordIndex::TakeKept(base::DerivedContent kept) {
  if (!kept || kept.Bytes.size() < sizeof(KeptHeader)) return false;
  KeptHeader h;
  std::memcpy(&h, kept.Bytes.data(), sizeof h);
  size_t offset = sizeof h;
  if (h.RecordBytes != sizeof(TGeometryFile::Record) || h.Columns < 1 || h.Rows < 1 ||
      h.CellStarts != uint64_t(h.Columns) * uint64_t(h.Rows) + 1)
    return false;
  std::span<const TGeometryFile::Record> records;
  std::span<const int> starts, items, large;
  if (!base::ViewArray(kept.Bytes, offset, h.Records, records) ||
      !base::ViewArray(kept.Bytes, offset, h.CellStarts, starts) ||
      !base::ViewArray(kept.Bytes, offset, h.CellItems, items) ||
      !base::ViewArray(kept.Bytes, offset, h.Large, large))
    return false;
  // Every cell's items within the array, so that a damaged file cannot lead a walk astray.
  if (starts.front() != 0 || uint64_t(starts.back()) != h.CellItems) return false;
  for (size_t c = 1; c < starts.size(); ++c)
    if (starts[c] < starts[c - 1]) return false;
  for (int i : items)
    if (i < 0 || uint64_t(i) >= h.Records) return false;
  for (int i : large)
    if (i < 0 || uint64_t(i) >= h.Records) return false;
  FixedPointRecords = h.FixedPoints != 0;
  X0 = h.X0;
  Y0 = h.Y0;
  CellW = h.CellW;
  CellH = h.CellH;
  Columns = h.Columns;
  Rows = h.Rows;
  Records = records;
  CellStart = starts;
  CellItems = items;
  Large = large;
  Kept = std::move(kept);
  return true;
}

void TRecordIndex::Build(const QString& path) {
  Path = path;
  TGeometryFile file(path); // a file that cannot be opened raises here, as the walk would
  TGeometryFile::Record r;
  try {
    while (file.Next(r))
      OwnRecords.push_back(r);
  } catch (const base::FileError& e) {
    BrokenReason = e.Reason;
  }
  Records = OwnRecords;
  FixedPointRecords =
      !BrokenReason && std::all_of(Records.begin(), Records.end(), [](const auto& r) {
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
  std::vector<int>& starts = OwnCellStart;
  std::vector<int>& items = OwnCellItems;
  starts.assign(cells + 1, 0);
  const auto place = [&](bool fill) {
    for (int i = 0; i < int(Records.size()); ++i) {
      const auto& rec = Records[size_t(i)];
      if (!rec.HasBox) continue;
      const int cx1 = CellX(rec.XMin), cx2 = CellX(rec.XMax), cy1 = CellY(rec.YMin),
                cy2 = CellY(rec.YMax);
      if (!FiniteBox(rec) || cx2 < cx1 || cy2 < cy1 ||
          int64_t(cx2 - cx1 + 1) * (cy2 - cy1 + 1) > kMaxCellsPerRecord) {
        if (fill) OwnLarge.push_back(i); // also boxes the grid cannot place: always candidates
        continue;
      }
      for (int y = cy1; y <= cy2; ++y)
        for (int x = cx1; x <= cx2; ++x) {
          const size_t cell = size_t(y) * size_t(Columns) + size_t(x);
          if (fill)
            items[size_t(starts[cell]++)] = i;
          else
            ++starts[cell + 1];
        }
    }
  };
  place(false);
  for (size_t k = 0; k < cells; ++k)
    starts[k + 1] += starts[k];
  items.resize(size_t(starts[cells]));
  place(true); // moves every start to the next cell's
  for (size_t k = cells; k > 0; --k)
    starts[k] = starts[k - 1];
  starts[0] = 0;
  CellStart = OwnCellStart;
  CellItems = OwnCellItems;
  Large = OwnLarge;
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
  std::vector<int> out(Large.begin(), Large.end());
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
