#pragma once
// The points of a points layer's geometry file, however its records are laid out. A file whose
// every record is a 20-byte point right after the one before (the layout the atlas writes) is
// read in place, point i being record i, and searched through the record index. Any other file
// (points with Z or M, multipoints, null records among the points) is read record by record by
// its real layout, every point of a multipoint taken; a record that is broken ends the points
// there, and the walk's error is raised by ThrowIfBroken after the caller has used them.

#include "RecordIndex.h"

#include "base/MappedFile.h"

#include <memory>
#include <optional>
#include <vector>

class TPointFile {
public:
  // Raises base::FileError when the file cannot be opened.
  explicit TPointFile(const QString& path);

  // The points in file order; `Record` is the number of the record a point belongs to.
  int64_t Count() const;
  int RecordCount() const;
  bool At(int64_t point, double& X, double& Y, int& Record) const;
  // The first point of a record; false when there is none.
  bool OfRecord(int record, double& X, double& Y) const;
  // The points, in file order, that may lie in `box` (a superset); every point without a box.
  std::vector<int> Near(const TExtent* box) const;
  void ThrowIfBroken() const;

  // Shape types a points layer draws: points and multipoints, plain, with Z or with M.
  static bool IsPointType(int type) { return type == 1 || type == 11 || type == 21; }
  static bool IsMultiPointType(int type) { return type == 8 || type == 18 || type == 28; }

private:
  void ReadRecords();

  base::MappedFile File;
  std::shared_ptr<const TRecordIndex> Index; // null for a file too short for a header
  bool Fixed = true;
  struct Point {
    double X, Y;
    int Record;
  };
  std::vector<Point> Points; // of a file not in the fixed layout
  std::optional<QString> Broken;
};
