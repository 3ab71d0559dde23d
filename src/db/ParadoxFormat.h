#pragma once
// The Paradox table format (versions 3 to 7): the header block of a `.DB` file and the encoding
// of field values in records.
//
// clang-format off
// Header block (little-endian control fields):
//   0x00 u16 record size              0x02 u16 header size (bytes before block 1)
//   0x04 u8  file type (0 keyed table, 1 primary index, 2 unkeyed table)
//   0x05 u8  block size in KiB        0x06 u32 number of records
//   0x0A u16 blocks in use            0x0C u16 blocks in the file
//   0x0E u16 first data block         0x10 u16 last data block
//   0x1E u16 index root block (.PX)   0x20 u8  index levels (.PX)
//   0x21 u16 number of fields         0x23 u16 number of key fields
//   0x25 u32 encryption (0xFF00FF00 in version 4 and later: see 0x5C)
//   0x29 u8  sort order
//   0x39 u8  file version id (3 = 3.0, 4 = 3.5, 5..9 = 4, 10..11 = 5, 12 = 7)
//   0x3A u16 maximum blocks           0x49 u32 last auto-increment value
//   0x4D u16 first free block
// Version 4 and later tables add a data header at 0x58:
//   0x5C u32 encryption               0x60 u32 update time
//   0x6A u16 DOS code page
// Then, at 0x58 (3.x) or 0x78: two bytes per field (type, size), a 4-byte pointer, a 4-byte
// pointer per field, the table name (79 bytes, 261 in version 7), the field names each ended by
// a NUL.
// clang-format on
// Records are in data blocks: u16 next block, u16 previous block, i16 offset of the last record
// (from byte 6; −record size when the block is empty), then the records.
// Numbers in records are big-endian with the sign bit flipped (doubles: every bit flipped when
// negative), so that their bytes sort like their values; all-zero bytes mean an empty field.

#include "FieldDef.h"
#include "Value.h"

#include "base/TextCodec.h"

#include <QByteArray>
#include <QString>
#include <optional>
#include <span>
#include <vector>

namespace db::paradox {

enum TypeCode : int {
  Alpha = 0x01,
  Date = 0x02,
  Short = 0x03,
  Long = 0x04,
  Currency = 0x05,
  Number = 0x06,
  Logical = 0x09,
  Memo = 0x0C,
  Blob = 0x0D,
  FmtMemo = 0x0E,
  OLE = 0x0F,
  Graphic = 0x10,
  Time = 0x14,
  Timestamp = 0x15,
  AutoInc = 0x16,
  BCD = 0x17,
  Bytes = 0x18,
};

constexpr int kBlockHeaderSize = 6;     // next, previous, last-record offset
constexpr int kBlobDescriptorSize = 10; // offset+index, length, modification number

struct Header {
  QByteArray Bytes; // the header block as read, kept so that a rewrite changes only what it must
  int RecordSize = 0;
  int HeaderSize = 0;
  int FileType = 0;
  int BlockSize = 0;
  int64_t NumRecords = 0;
  int FileBlocks = 0;
  int FirstBlock = 0;
  int LastBlock = 0;
  int KeyFields = 0;
  int VersionId = 0; // raw byte at 0x39
  int Version = 0;   // 30, 35, 40, 50 or 70
  int CodePage = 0;  // 0 when the header declares none
  uint32_t AutoInc = 0;
  uint32_t Encryption = 0;
  std::vector<FieldDef> Fields;
  std::vector<QByteArray> RawFieldNames;
};

// Reads and checks the header of a table file; raises db::Error naming `path`.
Header ParseHeader(std::span<const unsigned char> file, const QString& path,
                   std::optional<base::CodePage> nameCodePage);

// Builds a complete header block for a new table (version 40, 50 or 70).
QByteArray BuildHeader(const std::vector<FieldDef>& fields, int keyFields, int version,
                       int codePage, int blockSizeKiB, const QString& tableName,
                       base::CodePage textCodePage);

// Field definitions for a new table: fills Size and PhysicalType from Type (and Size for text).
FieldDef MakeField(const QString& name, FieldType type, int size = 0);

// Decodes a non-blob field; `bytes` holds exactly the field's bytes.
Value DecodeValue(const FieldDef& field, std::span<const unsigned char> bytes, base::CodePage cp);
// Encodes a non-blob field into `out` (exactly the field's size); raises db::Error for values
// the field cannot hold (text longer than the field is cut to the field's size).
void EncodeValue(const FieldDef& field, const Value& value, std::span<unsigned char> out,
                 base::CodePage cp, const QString& tablePath);

// Days from 1 January of year 1 (day 1) as stored in date fields.
QDate DateFromDays(int64_t days);
int64_t DaysFromDate(const QDate& date);

void PutHeaderU16(QByteArray& header, int offset, int value);
void PutHeaderU32(QByteArray& header, int offset, uint32_t value);
// The file offset of data block `block` (numbered from 1).
inline int64_t BlockOffset(const Header& h, int block) {
  return int64_t(h.HeaderSize) + int64_t(block - 1) * h.BlockSize;
}

} // namespace db::paradox
