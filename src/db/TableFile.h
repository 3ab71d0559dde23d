#pragma once
// The storage behind a table cursor: one open table file (Paradox or dBase) that reads all its
// rows and writes every change through to disk before returning.

#include "FieldDef.h"
#include "Value.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <cstdint>
#include <memory>
#include <vector>

namespace db {

struct StoredRow {
  uint64_t Id = 0;           // identity given by the cursor; survives reordering (bookmarks)
  std::vector<Value> Values; // one per field, in field order
  int64_t Location = -1;     // Paradox: file offset of the record; dBase: record number
  QByteArray Raw;            // Paradox: the record's bytes as on disk
};

class TableFile {
public:
  virtual ~TableFile() = default;

  virtual QString Path() const = 0;
  virtual QString Kind() const = 0; // "Paradox 7", "dBase III", ...
  virtual const std::vector<FieldDef>& Fields() const = 0;
  virtual int KeyFieldCount() const = 0; // leading fields of the primary key; 0 = none
  // Whether a row's Location is its record number in the file, deleted records counted (dBase).
  virtual bool NumbersRecords() const { return false; }

  // All rows in browse order (key order for keyed tables, otherwise file order).
  virtual std::vector<StoredRow> ReadRows() = 0;

  // Write-through changes. `rows` is the complete row list in browse order; on return the file
  // and `rows` agree (locations, bytes and order). When a call raises, neither has changed.
  virtual void UpdateRow(std::vector<StoredRow>& rows, size_t index, std::vector<Value> values) = 0;
  // Returns the position of the new row in `rows`.
  virtual size_t InsertRow(std::vector<StoredRow>& rows, StoredRow row) = 0;
  virtual void DeleteRow(std::vector<StoredRow>& rows, size_t index) = 0;
  virtual void EmptyTable(std::vector<StoredRow>& rows) = 0;
  // Replaces every row with `replacement` (ids set, values in field order). Tables that can
  // write themselves whole do so in one step, so that a failure leaves the old rows on disk;
  // the default empties the table and appends the rows one by one.
  virtual void ReplaceRows(std::vector<StoredRow>& rows, std::vector<StoredRow> replacement);

  // A signature of the files on disk (modification time and size), to notice outside changes.
  virtual QString DiskSignature() const = 0;
  // Whether every change of another writer shows in the signature. A change written in place
  // within one tick of the file system's clock keeps the time and the size; a writer that
  // rewrites the table whole from its rows must then read them afresh before it writes.
  virtual bool ChangesShowInSignature() const { return true; }
};

QString FileSignature(const QString& path);

} // namespace db
