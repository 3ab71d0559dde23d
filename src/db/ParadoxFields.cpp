#include "ParadoxFormat.h"

#include "Error.h"

#include "base/ByteOrder.h"

#include <bit>
#include <cmath>
#include <cstring>

// The values of fields in records: numbers big-endian with the sign bit flipped, dates as days,
// times as milliseconds, BCD numbers, texts in the table's code page.

namespace db::paradox {
namespace {

// Julian day of 1 January of year 1 minus one: day 1 of the files is that date.
constexpr int64_t kJulianDayBeforeYear1 = 1721425;
constexpr int64_t kMsPerDay = 86400000;

bool AllZero(std::span<const unsigned char> bytes) {
  for (unsigned char b : bytes)
    if (b != 0) return false;
  return true;
}

uint16_t FlipU16(std::span<const unsigned char> b) {
  return base::GetU16BE(b.data()) ^ 0x8000u;
}
uint32_t FlipU32(std::span<const unsigned char> b) {
  return base::GetU32BE(b.data()) ^ 0x80000000u;
}

double DecodeDouble(std::span<const unsigned char> b) {
  uint64_t bits = base::GetU64BE(b.data());
  bits = (bits & 0x8000000000000000ull) ? bits ^ 0x8000000000000000ull : ~bits;
  return std::bit_cast<double>(bits);
}

void EncodeDouble(double v, unsigned char* out) {
  uint64_t bits = std::bit_cast<uint64_t>(v);
  bits = (bits & 0x8000000000000000ull) ? ~bits : bits ^ 0x8000000000000000ull;
  base::PutU64BE(out, bits);
}

// BCD: byte 0 holds the sign (0x80 set for positive), 0x40, and the number of decimals in its
// low six bits; 32 decimal digits follow, complemented for negative numbers. Paradox fills the
// digits beyond double precision with garbage nibbles: reading stops at the first non-digit.
double DecodeBcd(std::span<const unsigned char> b) {
  const bool positive = (b[0] & 0x80) != 0;
  const int decimals = std::min(b[0] & 0x3F, 32);
  double value = 0;
  int digitsRead = 0;
  for (int i = 0; i < 32; ++i) {
    unsigned nibble = (i % 2 == 0) ? (b[1 + i / 2] >> 4) : (b[1 + i / 2] & 0x0F);
    if (!positive) nibble = 0x0F - nibble;
    if (nibble > 9) break;
    value = value * 10 + nibble;
    ++digitsRead;
  }
  // Digits not read count as zeros.
  const int exponent = (32 - digitsRead) - decimals;
  value *= std::pow(10.0, exponent);
  return positive ? value : -value;
}

void EncodeBcd(double v, int decimals, unsigned char* out) {
  decimals = std::clamp(decimals, 0, 32);
  const bool positive = v >= 0;
  const double scaled = std::round(std::fabs(v) * std::pow(10.0, decimals));
  char digits[64];
  std::snprintf(digits, sizeof digits, "%032.0f", scaled);
  const size_t n = std::strlen(digits);
  const char* last32 = digits + (n > 32 ? n - 32 : 0);
  out[0] = uint8_t((positive ? 0x80 : 0x00) | 0x40 | decimals);
  for (int i = 0; i < 16; ++i) {
    unsigned hi = unsigned(last32[2 * i] - '0'), lo = unsigned(last32[2 * i + 1] - '0');
    if (!positive) hi = 0x0F - hi, lo = 0x0F - lo;
    out[1 + i] = uint8_t((hi << 4) | lo);
  }
}

} // namespace

QDate DateFromDays(int64_t days) {
  return QDate::fromJulianDay(kJulianDayBeforeYear1 + days);
}
int64_t DaysFromDate(const QDate& date) {
  return date.toJulianDay() - kJulianDayBeforeYear1;
}

Value DecodeValue(const FieldDef& field, std::span<const unsigned char> b, base::CodePage cp) {
  if (field.PhysicalType == Alpha) {
    size_t len = 0;
    while (len < b.size() && b[len] != 0)
      ++len;
    if (len == 0) return {};
    return base::Decode(reinterpret_cast<const char*>(b.data()), qsizetype(len), cp);
  }
  if (field.PhysicalType == Bytes) {
    if (AllZero(b)) return {};
    return QByteArray(reinterpret_cast<const char*>(b.data()), qsizetype(b.size()));
  }
  if (AllZero(b)) return {};
  switch (field.PhysicalType) {
  case Short:
    return int64_t(int16_t(FlipU16(b)));
  case Long:
  case AutoInc:
    return int64_t(int32_t(FlipU32(b)));
  case Number:
  case Currency:
    return DecodeDouble(b);
  case Logical:
    return (b[0] & 0x7F) != 0;
  case Date:
    return DateFromDays(int32_t(FlipU32(b)));
  case Time:
    return QTime::fromMSecsSinceStartOfDay(int(int32_t(FlipU32(b)) % kMsPerDay));
  case Timestamp: {
    const double ms = DecodeDouble(b);
    if (!std::isfinite(ms) || ms < 0 || ms > 4e14) return {};
    const auto total = int64_t(ms);
    return QDateTime(DateFromDays(total / kMsPerDay),
                     QTime::fromMSecsSinceStartOfDay(int(total % kMsPerDay)));
  }
  case BCD:
    return DecodeBcd(b);
  default:
    return {};
  }
}

void EncodeValue(const FieldDef& field, const Value& value, std::span<unsigned char> out,
                 base::CodePage cp, const QString& tablePath) {
  std::memset(out.data(), 0, out.size());
  if (IsNull(value)) return;
  unsigned char* o = out.data();
  switch (field.PhysicalType) {
  case Alpha: {
    const QByteArray bytes = base::Encode(ValueToString(value), cp);
    std::memcpy(o, bytes.constData(), std::min(size_t(bytes.size()), out.size()));
    return;
  }
  case Bytes: {
    const QByteArray bytes = ValueToBytes(value);
    std::memcpy(o, bytes.constData(), std::min(size_t(bytes.size()), out.size()));
    return;
  }
  case Short: {
    const int64_t v = ValueToInteger(value);
    if (v < -32767 || v > 32767)
      throw Error::ForField(tablePath, field.Name,
                            QString("%1 не вміщується в коротке ціле").arg(v));
    base::PutU16BE(o, uint16_t(int16_t(v)) ^ 0x8000u);
    return;
  }
  case Long:
  case AutoInc: {
    const int64_t v = ValueToInteger(value);
    if (v < -2147483647LL || v > 2147483647LL)
      throw Error::ForField(tablePath, field.Name, QString("%1 не вміщується в довге ціле").arg(v));
    base::PutU32BE(o, uint32_t(int32_t(v)) ^ 0x80000000u);
    return;
  }
  case Number:
  case Currency:
    EncodeDouble(ValueToFloat(value), o);
    return;
  case Logical:
    o[0] = ValueToBoolean(value) ? 0x81 : 0x80;
    return;
  case Date: {
    QDate d;
    if (auto pd = std::get_if<QDate>(&value))
      d = *pd;
    else if (auto pdt = std::get_if<QDateTime>(&value))
      d = pdt->date();
    else
      d = QDate::fromString(ValueToString(value), Qt::ISODate);
    if (!d.isValid()) throw Error::ForField(tablePath, field.Name, "неправильна дата");
    base::PutU32BE(o, uint32_t(int32_t(DaysFromDate(d))) ^ 0x80000000u);
    return;
  }
  case Time: {
    QTime t;
    if (auto pt = std::get_if<QTime>(&value))
      t = *pt;
    else if (auto pdt = std::get_if<QDateTime>(&value))
      t = pdt->time();
    else
      t = QTime::fromString(ValueToString(value), Qt::ISODateWithMs);
    if (!t.isValid()) throw Error::ForField(tablePath, field.Name, "неправильний час");
    base::PutU32BE(o, uint32_t(t.msecsSinceStartOfDay()) ^ 0x80000000u);
    return;
  }
  case Timestamp: {
    QDateTime dt;
    if (auto pdt = std::get_if<QDateTime>(&value))
      dt = *pdt;
    else if (auto pd = std::get_if<QDate>(&value))
      dt = QDateTime(*pd, QTime(0, 0));
    else
      dt = QDateTime::fromString(ValueToString(value), Qt::ISODateWithMs);
    if (!dt.isValid()) throw Error::ForField(tablePath, field.Name, "неправильні дата й час");
    const double ms =
        double(DaysFromDate(dt.date())) * double(kMsPerDay) + dt.time().msecsSinceStartOfDay();
    EncodeDouble(ms, o);
    return;
  }
  case BCD:
    EncodeBcd(ValueToFloat(value), field.Decimals, o);
    return;
  default:
    throw Error::ForField(tablePath, field.Name, "поля BLOB тут не кодуються");
  }
}

} // namespace db::paradox
