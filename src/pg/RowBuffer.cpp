#include "RowBuffer.h"

#include <algorithm>
#include <cstring>

namespace pg {

namespace {

template <class T> void Put(QByteArray& out, T value) {
  out.append(reinterpret_cast<const char*>(&value), sizeof value);
}

template <class T> T Get(const QByteArray& in, int64_t offset) {
  T value;
  std::memcpy(&value, in.constData() + offset, sizeof value);
  return value;
}

// The bytes of a value of the kinds kept bare; dates and times as numbers.
QByteArray Payload(const db::Value& v) {
  QByteArray out;
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
          out = x;
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
  return out;
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

QByteArray TRowBuffer::Encode(const std::vector<TKeptRow>& rows) {
  QByteArray out;
  for (const TKeptRow& row : rows) {
    Put<int64_t>(out, row.Location);
    Put<int64_t>(out, row.Version);
    for (const db::Value& v : row.Values) {
      const QByteArray payload = Payload(v);
      Put<uint8_t>(out, uint8_t(v.index()));
      Put<uint32_t>(out, uint32_t(payload.size()));
      out += payload;
    }
  }
  return out;
}

bool TRowBuffer::Take(QByteArray bytes, size_t fields) {
  Bytes = std::move(bytes);
  Fields = fields;
  Order.clear();
  Dense.clear();
  Sparse.clear();
  std::vector<int64_t> offsets;
  const int64_t size = Bytes.size();
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
  const auto [low, high] = std::minmax_element(Order.begin(), Order.end());
  if (Order.empty() || (*low >= 0 && *high < int64_t(Order.size()) * 2 + 16)) {
    Dense.assign(Order.empty() ? 0 : size_t(*high + 1), -1);
    for (size_t i = 0; i < Order.size(); ++i)
      Dense[size_t(Order[i])] = offsets[i];
  } else {
    for (size_t i = 0; i < Order.size(); ++i)
      Sparse[Order[i]] = offsets[i];
  }
  return true;
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

void TRowBuffer::Skip(int64_t& offset) const {
  offset += 5 + int64_t(Get<uint32_t>(Bytes, offset + 1));
}

db::Value TRowBuffer::Decode(int64_t& offset) const {
  const uint8_t type = Get<uint8_t>(Bytes, offset);
  const uint32_t length = Get<uint32_t>(Bytes, offset + 1);
  const int64_t at = offset + 5;
  offset = at + length;
  switch (type) {
  case 1:
    return Get<uint8_t>(Bytes, at) != 0;
  case 2:
    return Get<int64_t>(Bytes, at);
  case 3:
    return Get<double>(Bytes, at);
  case 4:
    return QString(reinterpret_cast<const QChar*>(Bytes.constData() + at), length / 2);
  case 5:
    return Bytes.mid(at, length);
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
