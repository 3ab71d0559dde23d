#pragma once
// The order an open table's cursor browses its rows in: the index (chosen by name or by fields),
// the key range on it, the rows' positions in that order, and the positions of record numbers.
// Part of db::Table, which it reads and moves.

#include "Value.h"

#include <QString>
#include <mutex>
#include <optional>
#include <vector>

namespace db {

class Table;

class TableOrder {
public:
  explicit TableOrder(Table& table) : T(table) {}

  // The primary index without a range (at opening); nothing (at closing).
  void Reset();
  void Clear();
  void SetIndexName(const QString& name);
  QString IndexName() const { return CurrentIndexName; }
  void SetIndexFieldNames(const QString& names);
  QString IndexFieldNames() const;
  bool FindKey(const std::vector<Value>& key);
  void SetRange(const std::vector<Value>& low, const std::vector<Value>& high);
  void CancelRange();
  // Whether the order is the rows' own (the primary key's, or the file's) without a range.
  bool PrimaryWhole() const { return Primary() && !RangeLow && !RangeHigh; }
  // Whether a change of `field` can move a row in the order.
  bool Involves(size_t field) const;
  // Whether two rows agree on the key fields and the fields of the order.
  bool FieldsEqual(const std::vector<Value>& a, const std::vector<Value>& b) const;
  // The positions again after a change of the rows or of the order; the cursor stays on the row
  // `keepId` where it is still there.
  void Rebuild(std::optional<uint64_t> keepId);
  int PositionOfRecord(int Record) const;

  std::vector<size_t> Positions; // positions in the table's rows, in order, within the range

private:
  bool Primary() const;
  std::vector<size_t> ParseFieldList(const QString& names) const;
  // Key values converted to the types of the index fields, so that they compare like the rows.
  std::vector<Value> CoerceKey(const std::vector<Value>& key) const;
  int CompareRowToKey(size_t row, const std::vector<Value>& key) const;
  // The value of the i-th field of the order for the row at `row` (a position in the rows).
  Value OrderValue(size_t row, size_t i) const;
  std::optional<uint64_t> CurrentId() const;

  Table& T;
  std::vector<size_t> IndexFields; // fields of the order; empty = file order
  QString CurrentIndexName;
  bool UsingFieldNames = false;
  std::optional<std::vector<Value>> RangeLow, RangeHigh;
  // The values of the fields of the order, IndexFields.size() per row, read when the order is
  // not the primary one; empty otherwise.
  std::vector<Value> OrderKeys;
  // Positions by record number, built at the table's change count they were built at. Guarded:
  // the drawing threads of one layer ask for positions at once.
  mutable std::mutex RecordPositionsLock;
  mutable std::vector<int> RecordPositions;
  mutable uint64_t RecordPositionsChanges = ~0ull;
};

} // namespace db
