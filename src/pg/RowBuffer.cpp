#include "RowBuffer.h"

#include <algorithm>
#include <cstring>

namespace pg {

namespace {

template <class T> void Put(QByteArray& out, T value) {
  out.append(reinterpret_cast<const char*>(&value), sizeof value);
}

template <class T> T Get(std::span<const char> in, int64_t offset) {
  T value;
  std::memcpy(&value, in.data() + offset, sizeof value);
  return value;
}

// Appends a value's bytes: the kinds kept bare, dates and times as numbers.
void PutPayload(QByteArray& out, const db::Value& v) {
  std::visit(
      [&](const auto& x) {
        using T = std::decay_t<decltype(x)>;
        if constexpr (std::is_same_v<T, bool>)
          Put<uint8_t>(out, x ? 1 : 0);
        else if constexpr (std::is_same_v<T, int64_t> || std::is_same_v<T, double>)
          Put<T>(out, x);
        else if constexpr (std::is_same_v<T, QString>)
          out.append(reinterpret_cast<const char*>(x.utf16()), x.size() * 2);
        else if constexpr (std::is_same_v<T, QByteArray>)
          out += x;
        else if constexpr (std::is_same_v<T, QDate>)
          Put<int64_t>(out, x.isValid() ? x.toJulianDay() : INT64_MIN);
        else if constexpr (std::is_same_v<T, QTime>)
          Put<int32_t>(out, x.isValid() ? x.msecsSinceStartOfDay() : -1);
        else if constexpr (std::is_same_v<T, QDateTime>) {
          Put<int64_t>(out, x.date().isValid() ? x.date().toJulianDay() : INT64_MIN);
          Put<int32_t>(out, x.time().isValid() ? x.time().msecsSinceStartOfDay() : -1);
        }
      },
      v);
}

// Whether a value of the variant's alternative `type` may be `length` bytes long.
bool Fits(uint8_t type, uint32_t length) {
  static constexpr int64_t kSizes[] = {0, 1, 8, 8, -2, -1, 8, 4, 12}; // -2: even, -1: any
  static_assert(std::size(kSizes) == std::variant_size_v<db::Value>);
  if (type >= std::size(kSizes)) return false;
  const int64_t size = kSizes[type];
  return size == -1 || (size == -2 ? length % 2 == 0 : int64_t(length) == size);
}

QDate DateOf(int64_t day) {
  return day == INT64_MIN ? QDate() : QDate::fromJulianDay(day);
}

QTime TimeOf(int32_t ms) {
  return ms < 0 ? QTime() : QTime::fromMSecsSinceStartOfDay(ms);
}

} // namespace

void TRowBuffer::AppendRow(QByteArray& out, int64_t location, int64_t version,
                           std::span<const db::Value> values) {
  Put<int64_t>(out, location);
  Put<int64_t>(out, version);
  for (const db::Value& v : values) {
    Put<uint8_t>(out, uint8_t(v.index()));
    const qsizetype lengthAt = out.size();
    Put<uint32_t>(out, 0);
    PutPayload(out, v);
    const uint32_t length = uint32_t(out.size() - lengthAt - 4);
    std::memcpy(out.data() + lengthAt, &length, sizeof length);
  }
}

QByteArray TRowBuffer::Encode(const std::vector<TKeptRow>& rows) {
  QByteArray out;
  for (const TKeptRow& row : rows)
    AppendRow(out, row.Location, row.Version, row.Values);
  return out;
}

bool TRowBuffer::Take(QByteArray bytes, size_t fields) {
  *this = TRowBuffer();
  Own = std::move(bytes);
  Bytes = {Own.constData(), size_t(Own.size())};
  return TakeShown(fields);
}

bool TRowBuffer::Take(base::DerivedContent kept, size_t fields) {
  *this = TRowBuffer();
  if (!kept) return false;
  size_t at = 0;
  std::span<const uint64_t> count;
  std::span<const int64_t> locations, offsets;
  if (!base::ViewArray(kept.Bytes, at, 1, count) || count[0] > kept.Bytes.size() / 16 ||
      !base::ViewArray(kept.Bytes, at, size_t(count[0]), locations) ||
      !base::ViewArray(kept.Bytes, at, size_t(count[0]), offsets))
    return false;
  Bytes = {reinterpret_cast<const char*>(kept.Bytes.data()) + at, kept.Bytes.size() - at};
  // Each row's number and version within the rows, in order; its values are checked as read.
  for (size_t i = 0; i < offsets.size(); ++i)
    if (offsets[i] < 8 || offsets[i] + 8 > int64_t(Bytes.size()) ||
        (i > 0 && offsets[i] <= offsets[i - 1]))
      return false;
  Kept = std::move(kept);
  Fields = fields;
  Order.assign(locations.begin(), locations.end());
  PlaceRows(offsets);
  return true;
}

QByteArray TRowBuffer::KeptForm() const {
  std::vector<int64_t> offsets;
  offsets.reserve(Order.size());
  for (const int64_t location : Order)
    offsets.push_back(OffsetOf(location));
  QByteArray out;
  const uint64_t count = Order.size();
  base::AppendArray<uint64_t>(out, {&count, 1});
  base::AppendArray<int64_t>(out, Order);
  base::AppendArray<int64_t>(out, offsets);
  out.append(Bytes.data(), qsizetype(Bytes.size()));
  return out;
}

bool TRowBuffer::TakeShown(size_t fields) {
  Fields = fields;
  std::vector<int64_t> offsets;
  const int64_t size = int64_t(Bytes.size());
  for (int64_t at = 0; at < size;) {
    if (size - at < 16) break;
    const int64_t location = Get<int64_t>(Bytes, at);
    Order.push_back(location);
    offsets.push_back(at + 8);
    at += 16;
    for (size_t f = 0; f < fields && at >= 0; ++f) {
      if (size - at < 5 || !Fits(Get<uint8_t>(Bytes, at), Get<uint32_t>(Bytes, at + 1)))
        at = -1;
      else
        at += 5 + int64_t(Get<uint32_t>(Bytes, at + 1));
    }
    if (at < 0 || at > size) {
      *this = TRowBuffer();
      return false;
    }
  }
  PlaceRows(offsets);
  return true;
}

void TRowBuffer::PlaceRows(std::span<const int64_t> offsets) {
  const auto [low, high] = std::minmax_element(Order.begin(), Order.end());
  if (Order.empty() || (*low >= 0 && *high < int64_t(Order.size()) * 2 + 16)) {
    Dense.assign(Order.empty() ? 0 : size_t(*high + 1), -1);
    for (size_t i = 0; i < Order.size(); ++i)
      Dense[size_t(Order[i])] = offsets[i];
  } else {
    for (size_t i = 0; i < Order.size(); ++i)
      Sparse[Order[i]] = offsets[i];
  }
}

int64_t TRowBuffer::OffsetOf(int64_t location) const {
  if (!Sparse.empty()) {
    const auto found = Sparse.find(location);
    return found == Sparse.end() ? -1 : found->second;
  }
  return location >= 0 && location < int64_t(Dense.size()) ? Dense[size_t(location)] : -1;
}

int64_t TRowBuffer::Version(int64_t location) const {
  return Get<int64_t>(Bytes, OffsetOf(location));
}

// A value's type and length at `offset`, when the value lies within the buffer and its length
// fits its type; the offset moves past it.
bool TRowBuffer::Step(int64_t& offset, uint8_t& type, uint32_t& length) const {
  const int64_t size = int64_t(Bytes.size());
  if (offset < 0 || size - offset < 5) return false;
  type = Get<uint8_t>(Bytes, offset);
  length = Get<uint32_t>(Bytes, offset + 1);
  if (!Fits(type, length) || size - offset - 5 < int64_t(length)) return false;
  offset += 5 + int64_t(length);
  return true;
}

void TRowBuffer::Skip(int64_t& offset) const {
  uint8_t type = 0;
  uint32_t length = 0;
  if (!Step(offset, type, length)) offset = -1;
}

db::Value TRowBuffer::Decode(int64_t& offset) const {
  uint8_t type = 0;
  uint32_t length = 0;
  const int64_t at = offset + 5;
  if (!Step(offset, type, length)) {
    offset = -1;
    return db::Value(); // past the buffer: kept rows of another layout
  }
  switch (type) {
  case 1:
    return Get<uint8_t>(Bytes, at) != 0;
  case 2:
    return Get<int64_t>(Bytes, at);
  case 3:
    return Get<double>(Bytes, at);
  case 4:
    return QString(reinterpret_cast<const QChar*>(Bytes.data() + at), length / 2);
  case 5:
    return QByteArray(Bytes.data() + at, length);
  case 6:
    return DateOf(Get<int64_t>(Bytes, at));
  case 7:
    return TimeOf(Get<int32_t>(Bytes, at));
  case 8:
    return QDateTime(DateOf(Get<int64_t>(Bytes, at)), TimeOf(Get<int32_t>(Bytes, at + 8)));
  default:
    return db::Value();
  }
}

std::vector<db::Value> TRowBuffer::Row(int64_t location) const {
  int64_t at = OffsetOf(location) + 8;
  std::vector<db::Value> values;
  values.reserve(Fields);
  for (size_t f = 0; f < Fields; ++f)
    values.push_back(Decode(at));
  return values;
}

db::Value TRowBuffer::Value(int64_t location, size_t field) const {
  int64_t at = OffsetOf(location) + 8;
  for (size_t f = 0; f < field; ++f)
    Skip(at);
  return Decode(at);
}

} // namespace pg
