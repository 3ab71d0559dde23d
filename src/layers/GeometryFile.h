#pragma once
// A geometry file in the layout of the shapefile main file, loaded whole and walked record by
// record with every length checked: a record that runs past the end of the file, or claims more
// parts or points than it holds, ends the walk with a base::FileError naming the file and the
// record, never a read outside the data.
//
// Record layout: +0 record number (big-endian), +4 content length in 16-bit words (big-endian),
// then the content: +8 shape type, +12 Xmin, Ymin, Xmax, Ymax (doubles), +44 NumParts,
// +48 NumPoints, +52 the parts' first point indexes, then the points (X, Y doubles).

#include "core/World.h"

#include "base/MappedFile.h"

#include <QString>
#include <cstdint>
#include <vector>

class TGeometryFile {
public:
  static constexpr int64_t kHeaderSize = 100;

  struct Record {
    int Index = -1;           // from 0, in file order
    int64_t Offset = 0;       // of the record header
    int64_t ContentBytes = 0; // 2 × content length
    int32_t ShapeType = 0;
    bool HasBox = false; // false for null shapes and records too short for a box
    double XMin = 0, YMin = 0, XMax = 0, YMax = 0;
  };

  struct Parts {
    int32_t NumParts = 0, NumPoints = 0;
    std::vector<int32_t> Starts; // NumParts + 1 entries: the last is NumPoints
    int64_t PointsOffset = 0;    // of the first point
  };

  explicit TGeometryFile(const QString& path);

  // What a shape type holds, in words for messages: "polygons with Z (shape type 15)".
  static QString ShapeTypeName(int type);
  // Shape types whose records hold parts of points: polylines, polygons (plain, Z or M) and
  // multipatches.
  static bool HasParts(int type);

  const QString& Path() const { return File.Path(); }
  // The next record's header and box; false at the end of the data.
  bool Next(Record& r);
  // Goes to the record with this index; false when the file ends first.
  bool Seek(int index, Record& r);
  void Rewind();
  // NumParts, NumPoints and the part starts of a polyline or polygon record.
  Parts ReadParts(const Record& r) const;
  TWorldPoint PointAt(const Parts& p, int k) const;
  // The points of one part, converted to pixels.
  // `dropRepeats` leaves out a pixel equal to the one before it: a line drawn through them is
  // the same, and a line whose points all fall on one pixel draws nothing either way.
  void PartPixels(const Parts& p, int part, const TWorld& world, std::vector<QPoint>& out,
                  bool dropRepeats = false) const;

private:
  [[noreturn]] void Corrupt(const Record& r, const QString& what) const;

  base::MappedFile File;
  base::BinaryReader Reader;
  int NextIndex = 0;
};
