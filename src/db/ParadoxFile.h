#pragma once
// A Paradox table (`.DB`, with its `.PX` primary index and `.MB` blob file) read whole into
// memory and written through on every change. A change that keeps a record's key and place is
// written into the record's block in place; any other change rewrites the table in key order
// through a temporary file renamed over the original, and rebuilds the `.PX`.

#include "ParadoxBlobs.h"
#include "ParadoxFormat.h"
#include "TableFile.h"

#include "base/TextCodec.h"

#include <memory>
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
  base::CodePage TextCodePage() const { return Cp; }
  const paradox::Header& TableHeader() const { return Hdr; }

  std::vector<StoredRow> ReadRows() override;
  void UpdateRow(std::vector<StoredRow>& rows, size_t index, std::vector<Value> values) override;
  size_t InsertRow(std::vector<StoredRow>& rows, StoredRow row) override;
  void DeleteRow(std::vector<StoredRow>& rows, size_t index) override;
  void EmptyTable(std::vector<StoredRow>& rows) override;
  // Written whole through a temporary file: a failure leaves the table as it was.
  void ReplaceRows(std::vector<StoredRow>& rows, std::vector<StoredRow> replacement) override;
  QString DiskSignature() const override;
  // Rows are updated in place and the table rewritten from its rows: read afresh before writing.
  bool ChangesShowInSignature() const override { return false; }

private:
  ParadoxFile(QString path, paradox::Header header, base::CodePage cp);

  int KeyLength() const;
  QByteArray EncodeRecord(const std::vector<Value>& values, const StoredRow* old);
  std::vector<Value> DecodeRecord(std::span<const unsigned char> record);
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
  paradox::BlobFile Blobs;
  QString IndexPath;      // the `.PX` beside the table (resolved without regard to case)
  QByteArray IndexHeader; // its header block as read, when it exists
  std::optional<uint32_t> FixedUpdateTime;
};

QString ParadoxSidePath(const QString& tablePath, const QString& extension);

} // namespace db
