// The cursor's orders: the index chosen by name or by fields, key look-ups and ranges, the
// order of the rows rebuilt after every change, read from the file only for the fields of an
// order other than the primary one.

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

std::vector<size_t> Table::ParseFieldList(const QString& names) const {
  std::vector<size_t> fields;
  for (const QString& n : names.split(';', Qt::SkipEmptyParts))
    fields.push_back(FieldIndex(n.trimmed()));
  return fields;
}

void Table::SetIndexName(const QString& name) {
  CheckBrowse("змінити індекс");
  const QString trimmed = name.trimmed();
  std::vector<size_t> fields;
  if (!trimmed.isEmpty()) {
    const auto named = NamedIndexes().find(trimmed.toUpper());
    if (named != NamedIndexes().end())
      fields = ParseFieldList(named->second);
    else if (auto f = FindFieldIndex(trimmed))
      fields = {*f};
    else
      throw Error::ForTable(Describe(), "індекс \"" + trimmed + "\" не знайдено");
  } else {
    for (int i = 0; i < KeyFieldCount(); ++i)
      fields.push_back(size_t(i));
  }
  const auto keep = CurrentRow() ? std::optional<uint64_t>(CurrentRow()->Id) : std::nullopt;
  IndexFields = fields;
  CurrentIndexName = trimmed;
  UsingFieldNames = false;
  RangeLow.reset();
  RangeHigh.reset();
  RebuildOrder(keep);
}

void Table::SetIndexFieldNames(const QString& names) {
  CheckBrowse("змінити індекс");
  if (names.trimmed().isEmpty()) {
    SetIndexName(QString());
    return;
  }
  const auto keep = CurrentRow() ? std::optional<uint64_t>(CurrentRow()->Id) : std::nullopt;
  IndexFields = ParseFieldList(names);
  CurrentIndexName.clear();
  UsingFieldNames = true;
  RangeLow.reset();
  RangeHigh.reset();
  RebuildOrder(keep);
}

QString Table::IndexFieldNames() const {
  if (!UsingFieldNames) return QString();
  QStringList names;
  for (size_t f : IndexFields)
    names << Defs[f].Name;
  return names.join(';');
}

std::vector<Value> Table::CoerceKey(const std::vector<Value>& key) const {
  std::vector<Value> coerced;
  const size_t n = std::min(key.size(), IndexFields.size());
  for (size_t i = 0; i < n; ++i)
    coerced.push_back(Coerce(IndexFields[i], key[i]));
  return coerced;
}

int Table::CompareRowToKey(size_t row, const std::vector<Value>& key) const {
  const size_t n = std::min(key.size(), IndexFields.size());
  for (size_t i = 0; i < n; ++i) {
    const int c = CompareValues(OrderValue(row, i), key[i]);
    if (c != 0) return c;
  }
  return 0;
}

QByteArray Table::RowsStamp() const {
  if (!Active() || !PrimaryOrder() || RangeLow || RangeHigh) return {};
  return ListedStamp;
}

bool Table::PrimaryOrder() const {
  bool primary = IndexFields.size() <= size_t(KeyFieldCount());
  for (size_t i = 0; primary && i < IndexFields.size(); ++i)
    primary = IndexFields[i] == i;
  return primary;
}

Value Table::OrderValue(size_t row, size_t i) const {
  if (OrderKeys.empty()) return StoredValue(row, IndexFields[i]);
  return OrderKeys[row * IndexFields.size() + i];
}

void Table::RebuildOrder(std::optional<uint64_t> keepId) {
  ++Changes; // every change of the rows or of their order comes through here
  const int oldCursor = Cursor;
  Order.clear();
  OrderKeys.clear();
  if (PrimaryOrder()) {
    // The rows are held in primary-key order already: a range is found by two searches.
    size_t first = 0, last = Rows.size();
    auto position = [&](size_t from, auto&& below) {
      size_t low = from, high = Rows.size();
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
    Order.reserve(last > first ? last - first : 0);
    for (size_t i = first; i < last; ++i)
      Order.push_back(i);
  } else {
    // Another order: the values of its fields are read once for every row, then sorted.
    const size_t k = IndexFields.size();
    OrderKeys.resize(Rows.size() * k);
    std::vector<int64_t> locations;
    locations.reserve(Rows.size());
    for (const RowSlot& row : Rows)
      locations.push_back(row.Location);
    Storage->ReadFields(locations, IndexFields, [&](size_t row, const std::vector<Value>& values) {
      std::move(values.begin(), values.end(), OrderKeys.begin() + std::ptrdiff_t(row * k));
    });
    Order.reserve(Rows.size());
    for (size_t i = 0; i < Rows.size(); ++i) {
      if (RangeLow && CompareRowToKey(i, *RangeLow) < 0) continue;
      if (RangeHigh && CompareRowToKey(i, *RangeHigh) > 0) continue;
      Order.push_back(i);
    }
    std::stable_sort(Order.begin(), Order.end(), [&](size_t a, size_t b) {
      for (size_t i = 0; i < k; ++i) {
        const int c = CompareValues(OrderKeys[a * k + i], OrderKeys[b * k + i]);
        if (c != 0) return c < 0;
      }
      return false;
    });
  }
  MoveTo(oldCursor);
  if (keepId) {
    for (size_t i = 0; i < Order.size(); ++i)
      if (Rows[Order[i]].Id == *keepId) {
        Cursor = int(i);
        break;
      }
  }
  AtBof = AtEof = Order.empty();
}

bool Table::FindKey(const std::vector<Value>& key) {
  CheckBrowse("знайти ключ");
  if (IndexFields.empty())
    throw Error::ForTable(Describe(), "не вдається знайти ключ: індекс таблиці не вибрано");
  if (key.empty() || key.size() > IndexFields.size())
    throw Error::ForTable(Describe(), QString("ключ із %1 значень для індексу з %2 полів")
                                          .arg(key.size())
                                          .arg(IndexFields.size()));
  const std::vector<Value> coerced = CoerceKey(key);
  const auto it = std::lower_bound(
      Order.begin(), Order.end(), coerced,
      [&](size_t row, const std::vector<Value>& k) { return CompareRowToKey(row, k) < 0; });
  if (it == Order.end() || CompareRowToKey(*it, coerced) != 0) return false;
  Cursor = int(it - Order.begin());
  AtBof = AtEof = false;
  return true;
}

void Table::SetRange(const std::vector<Value>& low, const std::vector<Value>& high) {
  CheckBrowse("задати діапазон");
  if (IndexFields.empty())
    throw Error::ForTable(Describe(), "не вдається задати діапазон: індекс таблиці не вибрано");
  RangeLow = CoerceKey(low);
  RangeHigh = CoerceKey(high);
  RebuildOrder(std::nullopt);
  First();
}

void Table::CancelRange() {
  CheckBrowse("скасувати діапазон");
  const auto keep = CurrentRow() ? std::optional<uint64_t>(CurrentRow()->Id) : std::nullopt;
  RangeLow.reset();
  RangeHigh.reset();
  RebuildOrder(keep);
}

} // namespace db
