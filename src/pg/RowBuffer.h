#pragma once
// The rows of a database table as read, encoded in one buffer (and kept on this computer in the
// same bytes): a value is decoded when it is asked for, so that opening a big table costs its
// bytes, not an object per field, as reading a table file does. Each row: its number and version
// (64-bit), then per field a type byte, a 32-bit length and the value's bytes. The kept form
// puts the rows' numbers and places before the rows, so that opening a kept table walks none of
// them; every read of a value stays within the buffer.

#include "base/DerivedCache.h"
#include "db/Value.h"

#include <QByteArray>
#include <span>
#include <unordered_map>
#include <vector>

namespace pg {

struct TKeptRow {
  int64_t Location = 0, Version = 1;
  std::vector<db::Value> Values;
};

class TRowBuffer {
public:
  static QByteArray Encode(const std::vector<TKeptRow>& rows);
  // Appends one row's encoding to `out`.
  static void AppendRow(QByteArray& out, int64_t location, int64_t version,
                        std::span<const db::Value> values);
  // Takes encoded rows of `fields` fields; false (and empty) when the bytes are not whole rows.
  bool Take(QByteArray bytes, size_t fields);
  // Rows kept on this computer (KeptForm), read in place from their mapping; false (and empty)
  // when nothing was kept or what was kept does not fit.
  bool Take(base::DerivedContent kept, size_t fields);
  // The rows taken, with their numbers and places, to be kept on this computer.
  QByteArray KeptForm() const;

  // The rows' numbers in the order they were encoded.
  const std::vector<int64_t>& Locations() const { return Order; }
  bool Has(int64_t location) const { return OffsetOf(location) >= 0; }
  // For a row it has (Has).
  int64_t Version(int64_t location) const;
  std::vector<db::Value> Row(int64_t location) const;
  db::Value Value(int64_t location, size_t field) const;

private:
  db::Value Decode(int64_t& offset) const;
  void Skip(int64_t& offset) const;
  bool Step(int64_t& offset, uint8_t& type, uint32_t& length) const;
  // Where the row's version lies; -1 for a row it does not have.
  int64_t OffsetOf(int64_t location) const;

  bool TakeShown(size_t fields);
  void PlaceRows(std::span<const int64_t> offsets);

  QByteArray Own;              // rows read now
  base::DerivedContent Kept;   // or rows kept on this computer
  std::span<const char> Bytes; // what is shown of either
  size_t Fields = 0;
  std::vector<int64_t> Order;
  // Where each row's version lies: by number where the numbers are few and small (a dBase-born
  // table's record numbers), else in a map.
  std::vector<int64_t> Dense;
  std::unordered_map<int64_t, int64_t> Sparse;
};

} // namespace pg
