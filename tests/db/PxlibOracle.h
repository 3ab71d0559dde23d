#pragma once
// pxlib as an independent reader of Paradox tables without blobs, for the tests.

#include "db/Value.h"

#include "base/TextCodec.h"

#include <QString>
#include <optional>
#include <vector>

namespace testing_support {

struct PxlibTable {
  std::vector<QString> FieldNames;
  std::vector<int> FieldTypes;
  // One row per record in pxlib's order; a value pxlib calls empty is null.
  std::vector<std::vector<db::Value>> Rows;
};

// Reads a table through pxlib; nullopt when pxlib cannot open it.
std::optional<PxlibTable> ReadWithPxlib(const QString& path, base::CodePage cp);

// Expects pxlib to read the table at `path` with the same fields and values as our reader.
void ExpectSameAsPxlib(const QString& path);

// Expects pxlib to read the primary index `indexPath` and attach it to the table `tablePath`
// (it checks the index's record counts against the table's).
void ExpectPxlibAcceptsIndex(const QString& tablePath, const QString& indexPath);

} // namespace testing_support
