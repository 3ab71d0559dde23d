#pragma once
// The records of a geometry file with their boxes, walked once and kept with a grid over the
// boxes, so that drawing and picking visit only the records that can meet an extent. The walk
// is kept in the program's cache of derived files (base::DerivedCache) and read from there while
// the file stays as it was, so a big file is walked once, not at every start; nothing is written
// to the atlas. The index of a file is shared by every layer that draws it
// and made again when the file changes: its identity, size or times, or the bytes of its head
// and tail (a file rewritten in place within the clock's tick keeps its times). A file whose walk
// stops at a broken record keeps the records before it and the error, which `ThrowIfBroken` raises
// after the caller has used them, as the walk itself would have done.

#include "GeometryFile.h"

#include "base/DerivedCache.h"

#include <QByteArray>
#include <QString>
#include <memory>
#include <optional>
#include <span>
#include <vector>

class TRecordIndex {
public:
  // The index of the file at `path`, walked now or taken from the shared cache.
  static std::shared_ptr<const TRecordIndex> For(const QString& path);
  // The index of the file walked now, outside the cache.
  static std::shared_ptr<const TRecordIndex> Walk(const QString& path);

  // Off: every record with a box is a candidate, as in a walk of the whole file (for comparing).
  static inline bool UseGrid = true;

  std::span<const TGeometryFile::Record> Records; // in file order
  // Every record is a point of 20 bytes right after the one before: record i is the i-th
  // 28-byte slot of the file, as the points layers read it.
  bool FixedPointRecords = false;
  // The indexes, in file order, of the records whose boxes may meet the extent (a superset of
  // those that do; records without a box are left out).
  std::vector<int> Candidates(double XMin, double YMin, double XMax, double YMax) const;
  void ThrowIfBroken() const;
  // Whether the walk was taken from the cache of derived files rather than made now.
  bool TakenFromKept() const { return bool(Kept); }
  // The record with this index, as TGeometryFile::Seek finds it: false past the last record,
  // and the walk's error where a broken record comes first.
  bool Seek(int index, TGeometryFile::Record& r) const;

private:
  struct KeptHeader;
  void Build(const QString& path);
  // Takes the index kept for the file; false when what is kept does not fit.
  bool TakeKept(base::DerivedContent kept);
  QByteArray KeptContent() const;
  int CellX(double x) const;
  int CellY(double y) const;

  QString Path;
  QByteArray Signature; // what tells this version of the file from another
  std::optional<QString> BrokenReason;
  double X0 = 0, Y0 = 0, CellW = 1, CellH = 1;
  int Columns = 0, Rows = 0;
  // The record indexes of cell c, in file order: CellItems[CellStart[c]] to CellItems[CellStart[c +
  // 1]].
  std::span<const int> CellStart, CellItems;
  std::span<const int> Large; // records spanning too many cells, in file order
  // What the spans show: the arrays of a walk made now, or the kept file's.
  std::vector<TGeometryFile::Record> OwnRecords;
  std::vector<int> OwnCellStart, OwnCellItems, OwnLarge;
  base::DerivedContent Kept;
};
