#pragma once
// A grid over a set of points (the rows of a points table), so that a view or a pick box visits
// only the points in the cells it covers. Its arrays are made from the points or viewed in kept
// content (base::DerivedCache), where they follow the points they were made from.

#include "base/DerivedCache.h"

#include <QByteArray>
#include <functional>
#include <span>
#include <vector>

class TPointGrid {
public:
  // Makes the grid over `count` points, point i at `at(i)`; points without finite coordinates
  // are in no cell (no extent holds them).
  void Build(size_t count, const std::function<std::pair<double, double>(size_t)>& at);

  // The indexes of the points that may lie in the extent (a superset of those that do), in
  // increasing order.
  std::vector<int> Candidates(double XMin, double YMin, double XMax, double YMax) const;

  // Appends the grid to kept content; takes it back from `content` at `offset` (moved past it),
  // false when it does not fit `count` points.
  void AppendTo(QByteArray& content) const;
  bool View(std::span<const unsigned char> content, size_t& offset, size_t count);

private:
  int CellX(double x) const;
  int CellY(double y) const;

  struct Frame {
    double X0 = 0, Y0 = 0, CellW = 1, CellH = 1;
    int32_t Columns = 1, Rows = 1;
    uint64_t Items = 0;
  } Shape;
  size_t Count = 0;
  // The points of cell c, in increasing order: CellItems[CellStart[c]] to CellItems[CellStart[c +
  // 1]].
  std::span<const int> CellStart, CellItems;
  std::vector<int> OwnCellStart, OwnCellItems;
};
