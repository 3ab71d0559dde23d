#pragma once
// A Paradox table (`.DB`, with its `.PX` primary index and `.MB` blob file): its rows listed by
// walking the chain of data blocks, each record read when asked for, and written through on
// every change. A change that keeps a record's key and place is
// written into the record's block in place; any other change rewrites the table in key order
// through a temporary file renamed over the original, and rebuilds the `.PX`.

#include "ParadoxBlobs.h"
#include "ParadoxFormat.h"
#include "TableFile.h"

#include "base/TextCodec.h"

#include <memory>
#include <mutex>
#include <optional>

namespace db {

struct ParadoxCreateOptions {
  int Version = 70;    // 50 or 70
  int CodePage = 1251; // declared in the header; text is written in it
  int BlockSizeKiB = 4;
  // The update time written into the header (seconds since 1970); unset: now. A fixed time
  // makes generated tables byte-identical from run to run.
  std::optional<uint32_t> UpdateTime;
};

class ParadoxFile : public TableFile {
public:
  // Opens an existing table; raises db::Error naming the file when it is missing, truncated,
  // corrupt or encrypted. `codePage` overrides the code page the header declares.
  static std::unique_ptr<ParadoxFile> Open(const QString& path,
                                           std::optional<base::CodePage> codePage = std::nullopt);

  // Writes a new table (replacing any file of that name) with the given rows.
  static void Create(const QString& path, const std::vector<FieldDef>& fields, int keyFields,
                     const std::vector<std::vector<Value>>& rows,
                     const ParadoxCreateOptions& options = {});

  QString Path() const override { return FilePath; }
  QString Kind() const override;
  const std::vector<FieldDef>& Fields() const override { return Hdr.Fields; }
  int KeyFieldCount() const override { return Hdr.KeyFields; }
  base::CodePage TextCodePage() const override { return Cp; }
  const paradox::Header& TableHeader() const { return Hdr; }

  std::vector<int64_t> ReadLocations() override;
  void UpdateRow(std::vector<RowSlot>& rows, size_t index, const std::vector<Value>& old,
                 std::vector<Value> values) override;
  size_t InsertRow(std::vector<RowSlot>& rows, RowSlot slot, std::vector<Value> values) override;
  void DeleteRow(std::vector<RowSlot>& rows, size_t index) override;
  void EmptyTable(std::vector<RowSlot>& rows) override;
  void WriteEdits(std::vector<RowSlot>& rows, const std::vector<RowEdit>& edits) override;
  // Written whole through a temporary file: a failure leaves the table as it was.
  void ReplaceRows(std::vector<RowSlot>& rows, std::vector<StoredRow> replacement) override;
  QString DiskSignature() const override;
  // Rows are updated in place and the table rewritten from its rows: read afresh before writing.
  bool ChangesShowInSignature() const override { return false; }

protected:
  int64_t RecordOffset(int64_t location) const override { return location; }
  size_t RecordSize() const override { return size_t(Hdr.RecordSize); }
  Value DecodeField(const unsigned char* record, size_t field) const override;
  int ListingVariant() const override { return int(Cp); }
  void CheckRowCount(size_t listed) const override;

private:
  ParadoxFile(QString path, paradox::Header header, base::CodePage cp);

  // The chain of data blocks: the offset of every record, in chain order.
  std::vector<int64_t> ReadChain() const;
  // Whether the records at `locations` are in key order.
  bool InKeyOrder(const std::vector<int64_t>& locations) const;
  // The rows of `listed` with their values and bytes, for a write of the whole table.
  std::vector<StoredRow> Materialize(const std::vector<RowSlot>& listed) const;
  static std::vector<RowSlot> SlotsOf(const std::vector<StoredRow>& rows);

  int KeyLength() const;
  QByteArray EncodeRecord(const std::vector<Value>& values, const StoredRow* old);
  void AssignAutoIncrements(std::vector<Value>& values);
  void CheckKeyUnique(const std::vector<StoredRow>& rows, const std::vector<Value>& values,
                      std::optional<size_t> except) const;
  static bool KeyLess(const StoredRow& a, const StoredRow& b, int keyFields);
  // Writes `rows` as the whole table (sorted by key first); updates locations and the header.
  void Rewrite(std::vector<StoredRow>& rows);
  void WriteWhole(std::vector<StoredRow>& rows);
  void WriteInPlace(const StoredRow& row);

  QString FilePath;
  paradox::Header Hdr;
  base::CodePage Cp;
  std::vector<size_t> FieldOffsets; // in the record
  mutable paradox::BlobFile Blobs;
  // While a write runs, the blob file knows which of its blocks the records on disk point to,
  // so that blocks no record points to any more are written over instead of the file growing.
  struct BlobBlocksKnown {
    paradox::BlobFile& Blobs;
    ~BlobBlocksKnown();
  };
  BlobBlocksKnown KnowBlobBlocks(const std::vector<RowSlot>& rows);
  // Sorts rows into key order; raises naming a key two rows share.
  void SortUniqueKeys(std::vector<StoredRow>& rows) const;
  mutable std::mutex BlobsLock; // the blob file is mapped on first use, from any thread
  QString IndexPath;            // the `.PX` beside the table (resolved without regard to case)
  QByteArray IndexHeader;       // its header block as read, when it exists
  std::optional<uint32_t> FixedUpdateTime;
};

QString ParadoxSidePath(const QString& tablePath, const QString& extension);

} // namespace db
