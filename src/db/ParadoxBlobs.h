#pragma once
// The blob file (`.MB`) of a Paradox table. The record holds, for a blob field of size N, a
// leader of N − 10 bytes (the blob's first bytes) and a 10-byte descriptor (little-endian):
//   +0 u32 offset of the blob's block in the `.MB`, its low byte the index of the blob in a
//          sub-allocated block (0xFF: a block of its own); 0 = the blob lies wholly in the leader
//   +4 u32 length of the blob
//   +8 u16 modification number
// `.MB` blocks are 4 KiB units; each starts with u8 type (0 header, 2 one blob, 3 sub-allocated,
// 4 free) and u16 number of 4 KiB units. A type-2 block holds u32 length and u16 modification
// number, then the data at +9. A type-3 block holds, from +12, 64 five-byte entries (data
// offset / 16, length / 16 rounded up, u16 modification number, length mod 16).
// Graphic blobs carry an 8-byte prefix 01 00 00 01 + u32 length before the BMP.
// Stale blobs are common: the file is only ever reached through the records' pointers.

#include "FieldDef.h"

#include "base/MappedFile.h"

#include <QByteArray>
#include <QString>
#include <memory>
#include <optional>
#include <set>
#include <span>

namespace db::paradox {

class BlobFile {
public:
  explicit BlobFile(QString path) : FilePath(std::move(path)) {}

  const QString& Path() const { return FilePath; }

  // The blob of a field (graphic blobs without their prefix); an empty QByteArray for an empty
  // field. Raises db::Error naming the `.MB` when the pointer leads outside the file or to a
  // block of the wrong kind.
  QByteArray Read(const FieldDef& field, std::span<const unsigned char> fieldBytes);

  // Stores `data` for a field and writes the field's leader and descriptor into `out`. Blobs
  // that fit the leader stay in the record; others go to the `.MB` (created when missing) and
  // are synced to disk before this returns: into a single-blob block that no record points to
  // any more (when the blocks in use are known) and that is large enough, else at its end.
  void Write(const FieldDef& field, const QByteArray& data, std::span<unsigned char> out);

  // The `.MB` blocks the table's records point to (their offsets), known for the writes that
  // follow until ForgetBlocksInUse: blocks outside them may be written over. Without them every
  // blob is appended.
  void SetBlocksInUse(std::set<int64_t> blocks) { InUse = std::move(blocks); }
  void ForgetBlocksInUse() { InUse.reset(); }
  // The block offset a blob field's descriptor points to; nullopt for a blob in the record.
  static std::optional<int64_t> BlockOf(const FieldDef& field,
                                        std::span<const unsigned char> fieldBytes);

private:
  const base::MappedFile& Mapped();
  uint16_t NextModificationNumber(int fd);
  // A single-blob block no record points to with at least `units` 4 KiB units: its offset and
  // its units; nullopt when there is none or the blocks in use are not known.
  std::optional<std::pair<int64_t, int>> FreeBlock(int fd, int64_t units) const;

  QString FilePath;
  std::unique_ptr<base::MappedFile> Map;
  std::optional<std::set<int64_t>> InUse;
};

} // namespace db::paradox
