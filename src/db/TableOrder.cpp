// The cursor's orders: the index chosen by name or by fields, key look-ups and ranges, the
// order of the rows rebuilt after every change, read from the file only for the fields of an
// order other than the primary one.

#include "TableOrder.h"
#include "Table.h"

#include "Error.h"

#include <algorithm>
#include <map>

namespace db {
namespace {

const std::map<QString, QString>& NamedIndexes() {
  static const std::map<QString, QString> names = {
      {"CLASS_ID", "Category;Class"},
      {"GROUP_ID", "Category;Class;GroupNum"},
  };
  return names;
}

} // namespace

// ---------------------------------------------------------------- indexes and ranges

void TableOrder::Reset() {
  IndexFields.clear();
  for (int i = 0; i < T.KeyFieldCount(); ++i)
    IndexFields.push_back(size_t(i));
  CurrentIndexName.clear();
  UsingFieldNames = false;
  RangeLow.reset();
  RangeHigh.reset();
}

void TableOrder::Clear() {
  Positions.clear();
  OrderKeys.clear();
}

std::optional<uint64_t> TableOrder::CurrentId() const {
  return T.CurrentRow() ? std::optional<uint64_t>(T.CurrentRow()->Id) : std::nullopt;
}

bool TableOrder::Involves(size_t field) const {
  return field < size_t(T.KeyFieldCount()) ||
         std::find(IndexFields.begin(), IndexFields.end(), field) != IndexFields.end();
}

bool TableOrder::FieldsEqual(const std::vector<Value>& a, const std::vector<Value>& b) const {
  for (size_t f = 0; f < size_t(T.KeyFieldCount()) && f < a.size() && f < b.size(); ++f)
    if (!ValuesEqual(a[f], b[f])) return false;
  for (size_t f : IndexFields)
    if (f >= a.size() || f >= b.size() || !ValuesEqual(a[f], b[f])) return false;
  return true;
}

int TableOrder::PositionOfRecord(int Record) const {
  const std::lock_guard<std::mutex> guard(RecordPositionsLock);
  if (RecordPositionsChanges != T.Changes) {
    int64_t last = -1;
    for (const RowSlot& row : T.Rows)
      last = std::max(last, row.Location);
    RecordPositions.assign(size_t(last + 1), -1);
    for (size_t position = 0; position < Positions.size(); ++position)
      if (const int64_t at = T.Rows[Positions[position]].Location; at >= 0)
        RecordPositions[size_t(at)] = int(position);
    RecordPositionsChanges = T.Changes;
  }
  return Record < int(RecordPositions.size()) ? RecordPositions[size_t(Record)] : -1;
}

std::vector<size_t> TableOrder::ParseFieldList(const QString& names) const {
  std::vector<size_t> fields;
  for (const QString& n : names.split(';', Qt::SkipEmptyParts))
    fields.push_back(T.FieldIndex(n.trimmed()));
  return fields;
}

void TableOrder::SetIndexName(const QString& name) {
  T.CheckBrowse("змінити індекс");
  const QString trimmed = name.trimmed();
  std::vector<size_t> fields;
  if (!trimmed.isEmpty()) {
    const auto named = NamedIndexes().find(trimmed.toUpper());
    if (named != NamedIndexes().end())
      fields = ParseFieldList(named->second);
    else if (auto f = T.FindFieldIndex(trimmed))
      fields = {*f};
    else
      throw Error::ForTable(T.Describe(), "індекс \"" + trimmed + "\" не знайдено");
  } else {
    for (int i = 0; i < T.KeyFieldCount(); ++i)
      fields.push_back(size_t(i));
  }
  const auto keep = CurrentId();
  IndexFields = fields;
  CurrentIndexName = trimmed;
  UsingFieldNames = false;
  RangeLow.reset();
  RangeHigh.reset();
  Rebuild(keep);
}

void TableOrder::SetIndexFieldNames(const QString& names) {
  T.CheckBrowse("змінити індекс");
  if (names.trimmed().isEmpty()) {
    SetIndexName(QString());
    return;
  }
  const auto keep = CurrentId();
  IndexFields = ParseFieldList(names);
  CurrentIndexName.clear();
  UsingFieldNames = true;
  RangeLow.reset();
  RangeHigh.reset();
  Rebuild(keep);
}

QString TableOrder::IndexFieldNames() const {
  if (!UsingFieldNames) return QString();
  QStringList names;
  for (size_t f : IndexFields)
    names << T.Defs[f].Name;
  return names.join(';');
}

std::vector<Value> TableOrder::CoerceKey(const std::vector<Value>& key) const {
  std::vector<Value> coerced;
  const size_t n = std::min(key.size(), IndexFields.size());
  for (size_t i = 0; i < n; ++i)
    coerced.push_back(T.Writer.CoerceField(IndexFields[i], key[i]));
  return coerced;
}

int TableOrder::CompareRowToKey(size_t row, const std::vector<Value>& key) const {
  const size_t n = std::min(key.size(), IndexFields.size());
  for (size_t i = 0; i < n; ++i) {
    const int c = CompareValues(OrderValue(row, i), key[i]);
    if (c != 0) return c;
  }
  return 0;
}

bool TableOrder::Primary() const {
  bool primary = IndexFields.size() <= size_t(T.KeyFieldCount());
  for (size_t i = 0; primary && i < IndexFields.size(); ++i)
    primary = IndexFields[i] == i;
  return primary;
}

Value TableOrder::OrderValue(size_t row, size_t i) const {
  if (OrderKeys.empty()) return T.StoredValue(row, IndexFields[i]);
  return OrderKeys[row * IndexFields.size() + i];
}

void TableOrder::Rebuild(std::optional<uint64_t> keepId) {
  ++T.Changes; // every change of the rows or of their order comes through here
  const int oldCursor = T.Cursor;
  Positions.clear();
  OrderKeys.clear();
  if (Primary()) {
    // The rows are held in primary-key order already: a range is found by two searches.
    size_t first = 0, last = T.Rows.size();
    auto position = [&](size_t from, auto&& below) {
      size_t low = from, high = T.Rows.size();
      while (low < high) {
        const size_t middle = low + (high - low) / 2;
        if (below(middle))
          low = middle + 1;
        else
          high = middle;
      }
      return low;
    };
    if (RangeLow) first = position(0, [&](size_t r) { return CompareRowToKey(r, *RangeLow) < 0; });
    if (RangeHigh)
      last = position(first, [&](size_t r) { return CompareRowToKey(r, *RangeHigh) <= 0; });
    Positions.reserve(last > first ? last - first : 0);
    for (size_t i = first; i < last; ++i)
      Positions.push_back(i);
  } else {
    // Another order: the values of its fields are read once for every row, then sorted.
    const size_t k = IndexFields.size();
    OrderKeys.resize(T.Rows.size() * k);
    std::vector<int64_t> locations;
    locations.reserve(T.Rows.size());
    for (const RowSlot& row : T.Rows)
      locations.push_back(row.Location);
    T.Storage->ReadFields(
        locations, IndexFields, [&](size_t row, const std::vector<Value>& values) {
          std::move(values.begin(), values.end(), OrderKeys.begin() + std::ptrdiff_t(row * k));
        });
    Positions.reserve(T.Rows.size());
    for (size_t i = 0; i < T.Rows.size(); ++i) {
      if (RangeLow && CompareRowToKey(i, *RangeLow) < 0) continue;
      if (RangeHigh && CompareRowToKey(i, *RangeHigh) > 0) continue;
      Positions.push_back(i);
    }
    std::stable_sort(Positions.begin(), Positions.end(), [&](size_t a, size_t b) {
      for (size_t i = 0; i < k; ++i) {
        const int c = CompareValues(OrderKeys[a * k + i], OrderKeys[b * k + i]);
        if (c != 0) return c < 0;
      }
      return false;
    });
  }
  T.MoveTo(oldCursor);
  if (keepId) {
    for (size_t i = 0; i < Positions.size(); ++i)
      if (T.Rows[Positions[i]].Id == *keepId) {
        T.Cursor = int(i);
        break;
      }
  }
  T.AtBof = T.AtEof = Positions.empty();
}

bool TableOrder::FindKey(const std::vector<Value>& key) {
  T.CheckBrowse("знайти ключ");
  if (IndexFields.empty())
    throw Error::ForTable(T.Describe(), "не вдається знайти ключ: індекс таблиці не вибрано");
  if (key.empty() || key.size() > IndexFields.size())
    throw Error::ForTable(T.Describe(), QString("ключ із %1 значень для індексу з %2 полів")
                                            .arg(key.size())
                                            .arg(IndexFields.size()));
  const std::vector<Value> coerced = CoerceKey(key);
  const auto it = std::lower_bound(
      Positions.begin(), Positions.end(), coerced,
      [&](size_t row, const std::vector<Value>& k) { return CompareRowToKey(row, k) < 0; });
  if (it == Positions.end() || CompareRowToKey(*it, coerced) != 0) return false;
  T.Cursor = int(it - Positions.begin());
  T.AtBof = T.AtEof = false;
  return true;
}

void TableOrder::SetRange(const std::vector<Value>& low, const std::vector<Value>& high) {
  T.CheckBrowse("задати діапазон");
  if (IndexFields.empty())
    throw Error::ForTable(T.Describe(), "не вдається задати діапазон: індекс таблиці не вибрано");
  RangeLow = CoerceKey(low);
  RangeHigh = CoerceKey(high);
  Rebuild(std::nullopt);
  T.First();
}

void TableOrder::CancelRange() {
  T.CheckBrowse("скасувати діапазон");
  const auto keep = CurrentId();
  RangeLow.reset();
  RangeHigh.reset();
  Rebuild(keep);
}

} // namespace db
