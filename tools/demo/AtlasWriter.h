#pragma once
// Writes the demo atlas: the data tree (BASE, MAPS, REFERENSE, USER_OBJ, HELP, SAVE) with every
// table and file the viewer reads, made from the invented city.

#include "CityModel.h"

#include <QString>
#include <QStringList>
#include <cstdint>

namespace demo {

struct AtlasSummary {
  QStringList Lines; // what was written, one line per layer or table
  int64_t Objects = 0;
  int64_t Vertices = 0;
};

// Writes the atlas into `dir` (created when missing; files of the same names are replaced).
// Raises db::Error or base::FileError naming the file that could not be written.
AtlasSummary WriteAtlas(const QString& dir, int scale, uint64_t seed);

// The fixed update time written into the tables' headers, so that a seed gives identical files.
constexpr uint32_t kAtlasTime = 946728000; // 2000-01-01 12:00 UTC

} // namespace demo
