#include "PointGrid.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <numeric>

namespace {

// The cell holding a coordinate, the edge cells for coordinates beyond the grid.
int Cell(double position, double origin, double size, int count) {
  const double c = std::floor((position - origin) / size);
  if (!(c > 0)) return 0;
  return c >= count - 1 ? count - 1 : int(c);
}

} // namespace

int TPointGrid::CellX(double x) const {
  return Cell(x, Shape.X0, Shape.CellW, Shape.Columns);
}

int TPointGrid::CellY(double y) const {
  return Cell(y, Shape.Y0, Shape.CellH, Shape.Rows);
}

void TPointGrid::Build(size_t count, const std::function<std::pair<double, double>(size_t)>& at) {
  Count = count;
  bool any = false;
  double x1 = 0, y1 = 0, x2 = 0, y2 = 0;
  std::vector<char> placed(count, 0);
  for (size_t i = 0; i < count; ++i) {
    const auto [x, y] = at(i);
    if (!std::isfinite(x) || !std::isfinite(y)) continue;
    placed[i] = 1;
    x1 = any ? std::min(x1, x) : x;
    y1 = any ? std::min(y1, y) : y;
    x2 = any ? std::max(x2, x) : x;
    y2 = any ? std::max(y2, y) : y;
    any = true;
  }
  // About eight points a cell.
  const int side = std::clamp(int(std::sqrt(double(count) / 8)), 1, 1024);
  Shape =
      Frame{x1, y1, x2 > x1 ? (x2 - x1) / side : 1, y2 > y1 ? (y2 - y1) / side : 1, side, side, 0};
  const size_t cells = size_t(side) * size_t(side);
  OwnCellStart.assign(cells + 1, 0);
  std::vector<int> cellOf(count, -1);
  for (size_t i = 0; i < count; ++i) {
    if (!placed[i]) continue;
    const auto [x, y] = at(i);
    cellOf[i] = CellY(y) * side + CellX(x);
    ++OwnCellStart[size_t(cellOf[i]) + 1];
  }
  for (size_t c = 0; c < cells; ++c)
    OwnCellStart[c + 1] += OwnCellStart[c];
  OwnCellItems.resize(size_t(OwnCellStart[cells]));
  std::vector<int> next(OwnCellStart.begin(), OwnCellStart.end() - 1);
  for (size_t i = 0; i < count; ++i)
    if (cellOf[i] >= 0) OwnCellItems[size_t(next[size_t(cellOf[i])]++)] = int(i);
  Shape.Items = OwnCellItems.size();
  CellStart = OwnCellStart;
  CellItems = OwnCellItems;
}

std::vector<int> TPointGrid::Candidates(double XMin, double YMin, double XMax, double YMax) const {
  std::vector<int> out;
  if (CellStart.empty() || !(XMin <= XMax) || !(YMin <= YMax)) return out;
  const int cx1 = CellX(XMin), cx2 = CellX(XMax), cy1 = CellY(YMin), cy2 = CellY(YMax);
  const int64_t cells = int64_t(cx2 - cx1 + 1) * (cy2 - cy1 + 1);
  if (cells * 2 > int64_t(CellStart.size() - 1)) {
    // Most of the grid: every point with coordinates, found faster by a walk of the cells' lists
    // than by sorting them.
    out.resize(Count);
    std::iota(out.begin(), out.end(), 0);
    return out;
  }
  for (int y = cy1; y <= cy2; ++y) {
    const size_t row = size_t(y) * size_t(Shape.Columns);
    out.insert(out.end(), CellItems.begin() + CellStart[row + size_t(cx1)],
               CellItems.begin() + CellStart[row + size_t(cx2) + 1]);
  }
  std::sort(out.begin(), out.end());
  return out;
}

void TPointGrid::AppendTo(QByteArray& content) const {
  base::AppendArray(content, std::span<const Frame>(&Shape, 1));
  base::AppendArray(content, CellStart);
  base::AppendArray(content, CellItems);
}

bool TPointGrid::View(std::span<const unsigned char> content, size_t& offset, size_t count) {
  std::span<const Frame> frame;
  if (!base::ViewArray(content, offset, 1, frame)) return false;
  const Frame f = frame[0];
  if (f.Columns < 1 || f.Rows < 1 || f.Columns > 1024 || f.Rows > 1024 || f.Items > count)
    return false;
  std::span<const int> starts, items;
  if (!base::ViewArray(content, offset, size_t(f.Columns) * size_t(f.Rows) + 1, starts) ||
      !base::ViewArray(content, offset, f.Items, items))
    return false;
  if (starts.front() != 0 || uint64_t(starts.back()) != f.Items) return false;
  for (size_t c = 1; c < starts.size(); ++c)
    if (starts[c] < starts[c - 1]) return false;
  for (int i : items)
    if (i < 0 || size_t(i) >= count) return false;
  Shape = f;
  Count = count;
  CellStart = starts;
  CellItems = items;
  OwnCellStart.clear();
  OwnCellItems.clear();
  return true;
}
