#pragma once
// The rows of a database table as read, encoded in one buffer (and kept on this computer in the
// same bytes): a value is decoded when it is asked for, so that opening a big table costs its
// bytes, not an object per field, as reading a table file does. Each row: its number and version
// (64-bit), then per field a type byte, a 32-bit length and the value's bytes.

#include "db/Value.h"

#include <QByteArray>
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
  // Takes encoded rows of `fields` fields; false (and empty) when the bytes are not whole rows.
  bool Take(QByteArray bytes, size_t fields);

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
  // Where the row's version lies; -1 for a row it does not have.
  int64_t OffsetOf(int64_t location) const;

  QByteArray Bytes;
  size_t Fields = 0;
  std::vector<int64_t> Order;
  // Where each row's version lies: by number where the numbers are few and small (a dBase-born
  // table's record numbers), else in a map.
  std::vector<int64_t> Dense;
  std::unordered_map<int64_t, int64_t> Sparse;
};

} // namespace pg
