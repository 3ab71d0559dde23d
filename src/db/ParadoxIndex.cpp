#include "ParadoxIndex.h"

#include "base/ByteOrder.h"

#include <cstring>

namespace db::paradox {
namespace {

int KeyLength(const Header& table) {
  int length = 0;
  for (int i = 0; i < table.KeyFields; ++i)
    length += table.Fields[size_t(i)].Size;
  return length;
}

QByteArray NewIndexHeader(const Header& table, int recordSize, int blockCode, const QString& name) {
  const int tableNameLength = table.Version >= 70 ? 261 : 79;
  QByteArray h(0x800, '\0');
  auto* p = reinterpret_cast<unsigned char*>(h.data());
  base::PutU16LE(p + 0x00, uint16_t(recordSize));
  base::PutU16LE(p + 0x02, 0x800);
  p[0x04] = 1;
  p[0x05] = uint8_t(blockCode);
  base::PutU16LE(p + 0x12, 17);
  base::PutU16LE(p + 0x21, uint16_t(table.KeyFields));
  p[0x2C] = 102;
  p[0x39] = uint8_t(table.VersionId);
  int pos = 0x58;
  for (int i = 0; i < table.KeyFields; ++i) {
    const FieldDef& f = table.Fields[size_t(i)];
    p[pos++] = uint8_t(f.PhysicalType);
    p[pos++] = uint8_t(f.PhysicalType == BCD ? f.Decimals : f.Size);
  }
  pos += 4;
  const QByteArray n = name.toLatin1().left(tableNameLength - 1);
  std::memcpy(p + pos, n.constData(), size_t(n.size()));
  base::PutU16LE(p + 0x51, uint16_t(pos + tableNameLength));
  return h;
}

void PutFlippedU16BE(unsigned char* p, int value) {
  base::PutU16BE(p, uint16_t(value) ^ 0x8000u);
}

} // namespace

QByteArray BuildPrimaryIndex(const Header& table, const std::vector<IndexEntry>& dataBlocks,
                             const QByteArray& existingHeader, const QString& indexName) {
  const int keyLength = KeyLength(table);
  const int recordSize = keyLength + 6;
  QByteArray header;
  if (existingHeader.size() >= 0x58 && base::GetU16LE(existingHeader.constData()) == recordSize &&
      existingHeader.constData()[5] >= 1) {
    header = existingHeader;
  } else {
    header = NewIndexHeader(table, recordSize, table.BlockSize / 1024, indexName);
  }
  const int blockSize = static_cast<unsigned char>(header[5]) * 1024;
  const int perBlock = std::max(1, (blockSize - kBlockHeaderSize) / recordSize);

  // Levels from the bottom up: level 1 points at table blocks, each level above at the blocks
  // of the level below. Index block numbers are assigned once all levels are known.
  std::vector<std::vector<IndexEntry>> levels{dataBlocks};
  while (int(levels.back().size()) > perBlock) {
    const auto& below = levels.back();
    std::vector<IndexEntry> above;
    for (size_t i = 0; i < below.size(); i += size_t(perBlock)) {
      IndexEntry e;
      e.Key = below[i].Key;
      for (size_t j = i; j < std::min(below.size(), i + size_t(perBlock)); ++j)
        e.Records += below[j].Records;
      above.push_back(e);
    }
    levels.push_back(std::move(above));
  }
  // File order: the root level first, then each level below it.
  std::vector<int> firstBlockOfLevel(levels.size());
  int nextBlock = 1;
  for (size_t l = levels.size(); l-- > 0;) {
    firstBlockOfLevel[l] = nextBlock;
    nextBlock += int((levels[l].size() + size_t(perBlock) - 1) / size_t(perBlock));
  }
  if (dataBlocks.empty()) nextBlock = 1;
  const int totalBlocks = nextBlock - 1;
  for (size_t l = 1; l < levels.size(); ++l)
    for (size_t i = 0; i < levels[l].size(); ++i)
      levels[l][i].Block = firstBlockOfLevel[l - 1] + int(i);

  QByteArray body(qsizetype(totalBlocks) * blockSize, '\0');
  int64_t entryCount = 0;
  for (size_t l = levels.size(); l-- > 0;) {
    const auto& entries = levels[l];
    for (size_t i = 0; i < entries.size(); i += size_t(perBlock)) {
      const int blockNo = firstBlockOfLevel[l] + int(i / size_t(perBlock));
      auto* b = reinterpret_cast<unsigned char*>(body.data()) + int64_t(blockNo - 1) * blockSize;
      const int count = int(std::min(entries.size() - i, size_t(perBlock)));
      base::PutU16LE(b + 0, uint16_t(blockNo < totalBlocks ? blockNo + 1 : 0));
      base::PutU16LE(b + 2, uint16_t(blockNo - 1));
      base::PutU16LE(b + 4, uint16_t((count - 1) * recordSize));
      for (int k = 0; k < count; ++k) {
        const IndexEntry& e = entries[i + size_t(k)];
        unsigned char* r = b + kBlockHeaderSize + k * recordSize;
        std::memcpy(r, e.Key.constData(), size_t(std::min<qsizetype>(e.Key.size(), keyLength)));
        PutFlippedU16BE(r + keyLength, e.Block);
        PutFlippedU16BE(r + keyLength + 2, e.Records);
        PutFlippedU16BE(r + keyLength + 4, 0);
      }
      entryCount += count;
    }
  }
  PutHeaderU32(header, 0x06, uint32_t(entryCount));
  PutHeaderU16(header, 0x0A, totalBlocks);
  PutHeaderU16(header, 0x0C, totalBlocks);
  PutHeaderU16(header, 0x0E, totalBlocks > 0 ? 1 : 0);
  PutHeaderU16(header, 0x10, totalBlocks);
  PutHeaderU16(header, 0x1E, totalBlocks > 0 ? 1 : 0);
  header[0x20] = char(totalBlocks > 0 ? levels.size() : 0);
  PutHeaderU16(header, 0x3A, totalBlocks);
  PutHeaderU16(header, 0x4D, 0);
  return header + body;
}

} // namespace db::paradox
