#pragma once
// A dBase table (`.DBF`): its header and fields through shapelib's DBF API, its records read
// when asked for (a record's place follows from its number), written through record by record:
// fixed-size records are updated in place, new records are appended, deleted records are marked
// with '*' and skipped when listing. The code page of the text comes from a
// `.cpg` file beside the table, else the language byte of the header, else Windows-1251.

#include "TableFile.h"

#include "base/TextCodec.h"

#include <memory>

namespace db {

class DbaseFile : public TableFile {
public:
  static std::unique_ptr<DbaseFile> Open(const QString& path);

  // Writes a new table (replacing any file of that name). Fields of type String, Integer,
  // Float (with FieldDef::Decimals), Boolean and Date.
  static void Create(const QString& path, const std::vector<FieldDef>& fields,
                     const std::vector<std::vector<Value>>& rows,
                     base::CodePage cp = base::CodePage::Cp1251);

  QString Path() const override { return FilePath; }
  QString Kind() const override;
  const std::vector<FieldDef>& Fields() const override { return FieldList; }
  int KeyFieldCount() const override { return 0; }
  bool NumbersRecords() const override { return true; }
  base::CodePage TextCodePage() const override { return Cp; }

  std::vector<int64_t> ReadLocations() override;
  void UpdateRow(std::vector<RowSlot>& rows, size_t index, const std::vector<Value>& old,
                 std::vector<Value> values) override;
  size_t InsertRow(std::vector<RowSlot>& rows, RowSlot slot, std::vector<Value> values) override;
  void DeleteRow(std::vector<RowSlot>& rows, size_t index) override;
  // All rows through one opening of the file.
  void UpdateFields(std::vector<RowSlot>& rows, std::span<const size_t> indexes,
                    const std::vector<size_t>& fields,
                    const std::vector<std::vector<Value>>& values) override;
  void EmptyTable(std::vector<RowSlot>& rows) override;
  void WriteEdits(std::vector<RowSlot>& rows, const std::vector<RowEdit>& edits) override;
  QString DiskSignature() const override;
  // Only the table itself is ever written (no index or memo files beside it).
  void NoteOwnWrite() const override;

protected:
  int64_t RecordOffset(int64_t location) const override {
    return HeaderLength + location * RecordLength;
  }
  size_t RecordSize() const override { return size_t(RecordLength); }
  Value DecodeField(const unsigned char* record, size_t field) const override;

private:
  DbaseFile(QString path, int version, base::CodePage cp);

  void CheckWritable() const;

  QString FilePath;
  int Version = 3;
  bool Fieldless = false; // a header without fields or records
  base::CodePage Cp;
  std::vector<FieldDef> FieldList;
  std::vector<size_t> FieldOffsets; // in the record; byte 0 is the deletion flag
  int64_t HeaderLength = 0;
  int64_t RecordLength = 1;
};

// A field for DbaseFile::Create: `size` characters wide, `decimals` after the point for floats.
FieldDef MakeDbaseField(const QString& name, FieldType type, int size, int decimals = 0);

// The code page of a dBase table: its `.cpg`, else its language byte, else Windows-1251.
base::CodePage DbaseCodePage(const QString& path, int languageByte);

} // namespace db
