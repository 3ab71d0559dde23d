#pragma once
// The primary index (`.PX`) of a keyed Paradox table, rebuilt whole whenever the table is
// rewritten. Its header has the layout of a table header (file type 1); its blocks hold index
// records: the key fields' bytes as in the table, then three big-endian sign-flipped u16: the
// block number pointed at (a table block on level 1, an index block above), the number of table
// records below it, and 0. Level 1 has one record per table block with that block's first key.
// When level 1 needs more than one block, the root (level 2) comes first in the file, in block 1.

#include "ParadoxFormat.h"

#include <QByteArray>
#include <vector>

namespace db::paradox {

struct IndexEntry {
  QByteArray Key;  // the key bytes of the first record of the block
  int Block = 0;   // block number (1-based)
  int Records = 0; // table records under this entry
};

// `existingHeader` is the header block of the current `.PX` (empty when none); it is kept and
// patched when its record layout matches, so other programs find the index they wrote.
QByteArray BuildPrimaryIndex(const Header& table, const std::vector<IndexEntry>& dataBlocks,
                             const QByteArray& existingHeader, const QString& indexName);

} // namespace db::paradox
