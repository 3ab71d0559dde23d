#pragma once
// The storage behind a table cursor: one open table file (Paradox or dBase), or a table of an
// atlas kept in a database. It lists where its rows are, decodes a row or a field when asked
// (never all rows at once), and writes every change through before returning.

#include "FieldDef.h"
#include "RecordReader.h"
#include "Value.h"

#include "base/TextCodec.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <vector>

namespace db {

// A row of the cursor: its identity and where its record is. The values stay in the file.
struct RowSlot {
  uint64_t Id = 0;       // identity given by the cursor; survives reordering (bookmarks)
  int64_t Location = -1; // Paradox: file offset of the record; dBase: record number
};

// A row with its values, as the writing of a whole Paradox table and the tests handle it.
struct StoredRow {
  uint64_t Id = 0;
  std::vector<Value> Values; // one per field, in field order
  int64_t Location = -1;
  QByteArray Raw; // Paradox: the record's bytes as on disk
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

  // Where every row is, in browse order (key order for keyed tables, otherwise file order).
  virtual std::vector<int64_t> ReadLocations() = 0;
  // The same, taken from the program's cache of derived files while the file stays as it was
  // when they were kept (a big table is walked once, not at every opening). `stamp` receives the
  // state of the file the list belongs to (empty when the file changed too recently to say).
  virtual std::vector<int64_t> ListRows(QByteArray& stamp);
  // The values of the row at `location`, or of some of its fields; safe from several threads.
  virtual std::vector<Value> ReadRow(int64_t location) const;
  virtual Value ReadValue(int64_t location, size_t field) const;
  // Decodes `fields` of the rows at `locations`, calling `take(i, values)` for each in turn;
  // rows that lie one after another in the file are read in large pieces.
  using FieldsTaker = std::function<void(size_t, const std::vector<Value>&)>;
  virtual void ReadFields(std::span<const int64_t> locations, const std::vector<size_t>& fields,
                          const FieldsTaker& take) const;
  // The device and inode of the file the rows are read from (opened now if not yet).
  virtual std::pair<uint64_t, uint64_t> ReadIdentity() const { return Reader().Identity(); }
  // Whether writers take the table's lock file (tables in a database serialise their writers
  // themselves).
  virtual bool UsesLockFiles() const { return true; }
  // Every row with its values (and, for Paradox, its bytes), in browse order.
  std::vector<StoredRow> ReadRows();
  // Calls `take(i, record)` with the bytes of the record at each of `locations` in turn.
  using RecordTaker = std::function<void(size_t, const unsigned char*)>;
  void ReadRecords(std::span<const int64_t> locations, const RecordTaker& take) const;

  // Write-through changes. `rows` is the complete row list in browse order; on return the file
  // and `rows` agree (locations and order). When a call raises, neither has changed. `old` is
  // the row's values as the file holds them.
  virtual void UpdateRow(std::vector<RowSlot>& rows, size_t index, const std::vector<Value>& old,
                         std::vector<Value> values) = 0;
  // Returns the position of the new row in `rows`.
  virtual size_t InsertRow(std::vector<RowSlot>& rows, RowSlot slot, std::vector<Value> values) = 0;
  virtual void DeleteRow(std::vector<RowSlot>& rows, size_t index) = 0;
  // Writes `values[i]` into `fields` of the row at `rows[indexes[i]]`, for every i, the other
  // fields staying as the file holds them. Each row is written whole or not at all; values a
  // field cannot hold are refused before anything is written. The default writes row by row.
  virtual void UpdateFields(std::vector<RowSlot>& rows, std::span<const size_t> indexes,
                            const std::vector<size_t>& fields,
                            const std::vector<std::vector<Value>>& values);
  virtual void EmptyTable(std::vector<RowSlot>& rows) = 0;
  // One row's part in a batch: the row at `Index` of the list updated in `Fields` to `Values`
  // (every field's value, in field order) or deleted, or, without an index, a new row.
  struct RowEdit {
    std::optional<size_t> Index;
    bool Delete = false;
    uint64_t Id = 0; // the new row's identity
    std::vector<size_t> Fields;
    std::vector<Value> Values;
  };
  // Writes every edit or none: values and keys are checked before anything is written.
  virtual void WriteEdits(std::vector<RowSlot>& rows, const std::vector<RowEdit>& edits) = 0;
  // The code page the table's text is stored in.
  virtual base::CodePage TextCodePage() const = 0;
  // Replaces every row with `replacement` (ids set, values in field order). Tables that can
  // write themselves whole do so in one step, so that a failure leaves the old rows on disk;
  // the default empties the table and appends the rows one by one.
  virtual void ReplaceRows(std::vector<RowSlot>& rows, std::vector<StoredRow> replacement);

  // Records the state of the files this table wrote as this program's own.
  virtual void NoteOwnWrite() const;

  // A signature of the files on disk (modification time and size), to notice outside changes.
  virtual QString DiskSignature() const = 0;
  // Whether every change of another writer shows in the signature. A change written in place
  // within one tick of the file system's clock keeps the time and the size; a writer that
  // rewrites the table whole from its rows must then read them afresh before it writes.
  virtual bool ChangesShowInSignature() const { return true; }

protected:
  // The byte offset and size of the record at `location`.
  virtual int64_t RecordOffset(int64_t location) const = 0;
  virtual size_t RecordSize() const = 0;
  // Decodes one field of a record's bytes.
  virtual Value DecodeField(const unsigned char* record, size_t field) const = 0;
  // Says (base::Warn) when the header counts other rows than `listed`.
  virtual void CheckRowCount(size_t listed) const { (void)listed; }
  // What besides the file decides the order of the rows (the code page of sorted text).
  virtual int ListingVariant() const { return 0; }
  // The reader of the table's file, opened on first use and again after a rewrite.
  const RecordReader& Reader() const;
  void ReopenReader();
  // After the record at `location` was written in place.
  void RecordWritten(int64_t location);
  // After many records were written in place.
  void ForgetReadAhead();

private:
  mutable std::unique_ptr<RecordReader> Records;
  mutable std::mutex RecordsLock;
};

QString FileSignature(const QString& path);

// Tables that are not files: a location such as "postgresql:///city?host=/run/postgresql#MAPS"
// in place of a directory. A kind registers itself (the program and the tools do so at start);
// `Claims` says whether a directory name is one of its locations, `Open` opens a table there
// (raising db::Error naming the table when it is not there), `List` names the tables there.
struct RemoteTableKind {
  std::function<bool(const QString& location)> Claims;
  std::function<std::unique_ptr<TableFile>(const QString& location, const QString& name)> Open;
  std::function<QStringList(const QString& location)> List;
};
void RegisterRemoteTableKind(RemoteTableKind kind);
// The kind whose location `directory` is; null for a directory of files.
const RemoteTableKind* RemoteKindOf(const QString& directory);

} // namespace db
