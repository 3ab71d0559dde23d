#include "Value.h"

#include "Error.h"
#include "FieldDef.h"

#include <cmath>

namespace db {

QString FieldTypeName(FieldType type) {
  switch (type) {
  case FieldType::String:
    return "String";
  case FieldType::SmallInt:
    return "SmallInt";
  case FieldType::Integer:
    return "Integer";
  case FieldType::AutoInc:
    return "AutoInc";
  case FieldType::Float:
    return "Float";
  case FieldType::Currency:
    return "Currency";
  case FieldType::BCD:
    return "BCD";
  case FieldType::Boolean:
    return "Boolean";
  case FieldType::Date:
    return "Date";
  case FieldType::Time:
    return "Time";
  case FieldType::DateTime:
    return "DateTime";
  case FieldType::Memo:
    return "Memo";
  case FieldType::FmtMemo:
    return "FmtMemo";
  case FieldType::Blob:
    return "Blob";
  case FieldType::Graphic:
    return "Graphic";
  case FieldType::OLE:
    return "OLE";
  case FieldType::Bytes:
    return "Bytes";
  }
  return "Unknown";
}

bool IsBlobType(FieldType type) {
  return type == FieldType::Memo || type == FieldType::FmtMemo || type == FieldType::Blob ||
         type == FieldType::Graphic || type == FieldType::OLE;
}

bool IsNumericType(FieldType type) {
  switch (type) {
  case FieldType::SmallInt:
  case FieldType::Integer:
  case FieldType::AutoInc:
  case FieldType::Float:
  case FieldType::Currency:
  case FieldType::BCD:
    return true;
  default:
    return false;
  }
}

bool IsTextType(FieldType type) {
  return type == FieldType::String || type == FieldType::Memo;
}

int64_t ValueToInteger(const Value& v) {
  if (auto p = std::get_if<int64_t>(&v)) return *p;
  if (auto p = std::get_if<double>(&v)) {
    if (!std::isfinite(*p)) return 0;
    if (*p >= 9.2e18 || *p <= -9.2e18) return 0;
    return int64_t(std::llround(*p));
  }
  if (auto p = std::get_if<bool>(&v)) return *p ? 1 : 0;
  if (auto p = std::get_if<QString>(&v)) return p->trimmed().toLongLong();
  return 0;
}

double ValueToFloat(const Value& v) {
  if (auto p = std::get_if<double>(&v)) return *p;
  if (auto p = std::get_if<int64_t>(&v)) return double(*p);
  if (auto p = std::get_if<bool>(&v)) return *p ? 1.0 : 0.0;
  if (auto p = std::get_if<QString>(&v)) return p->trimmed().toDouble();
  return 0.0;
}

QString ValueToString(const Value& v) {
  if (auto p = std::get_if<QString>(&v)) return *p;
  if (auto p = std::get_if<int64_t>(&v)) return QString::number(*p);
  if (auto p = std::get_if<double>(&v)) return QString::number(*p, 'g', 15);
  if (auto p = std::get_if<bool>(&v)) return *p ? "True" : "False";
  if (auto p = std::get_if<QDate>(&v)) return p->toString("yyyy-MM-dd");
  if (auto p = std::get_if<QTime>(&v)) return p->toString("HH:mm:ss.zzz");
  if (auto p = std::get_if<QDateTime>(&v)) return p->toString("yyyy-MM-dd HH:mm:ss.zzz");
  if (auto p = std::get_if<QByteArray>(&v)) return QString::fromLatin1(*p);
  return QString();
}

bool ValueToBoolean(const Value& v) {
  if (auto p = std::get_if<bool>(&v)) return *p;
  if (auto p = std::get_if<int64_t>(&v)) return *p != 0;
  if (auto p = std::get_if<double>(&v)) return *p != 0.0;
  if (auto p = std::get_if<QString>(&v)) {
    const QString t = p->trimmed().toUpper();
    return t == "T" || t == "Y" || t == "TRUE" || t == "1";
  }
  return false;
}

QByteArray ValueToBytes(const Value& v) {
  if (auto p = std::get_if<QByteArray>(&v)) return *p;
  if (auto p = std::get_if<QString>(&v)) return p->toUtf8();
  return QByteArray();
}

namespace {

int Sign(double d) {
  return d < 0 ? -1 : d > 0 ? 1 : 0;
}

bool IsNumber(const Value& v) {
  return std::holds_alternative<int64_t>(v) || std::holds_alternative<double>(v) ||
         std::holds_alternative<bool>(v);
}

} // namespace

int CompareValues(const Value& a, const Value& b) {
  const bool an = IsNull(a), bn = IsNull(b);
  if (an || bn) return an == bn ? 0 : an ? -1 : 1;
  if (IsNumber(a) && IsNumber(b)) {
    if (std::holds_alternative<int64_t>(a) && std::holds_alternative<int64_t>(b)) {
      const int64_t x = std::get<int64_t>(a), y = std::get<int64_t>(b);
      return x < y ? -1 : x > y ? 1 : 0;
    }
    return Sign(ValueToFloat(a) - ValueToFloat(b));
  }
  if (auto pa = std::get_if<QDate>(&a)) {
    if (auto pb = std::get_if<QDate>(&b)) return *pa < *pb ? -1 : *pb < *pa ? 1 : 0;
  }
  if (auto pa = std::get_if<QTime>(&a)) {
    if (auto pb = std::get_if<QTime>(&b)) return *pa < *pb ? -1 : *pb < *pa ? 1 : 0;
  }
  if (auto pa = std::get_if<QDateTime>(&a)) {
    if (auto pb = std::get_if<QDateTime>(&b)) return *pa < *pb ? -1 : *pb < *pa ? 1 : 0;
  }
  if (auto pa = std::get_if<QByteArray>(&a)) {
    if (auto pb = std::get_if<QByteArray>(&b))
      return pa->compare(*pb) < 0 ? -1 : *pa == *pb ? 0 : 1;
  }
  if (IsNumber(a) != IsNumber(b) &&
      (std::holds_alternative<QString>(a) || std::holds_alternative<QString>(b))) {
    // A number against text (a key typed as text): compare as numbers.
    return Sign(ValueToFloat(a) - ValueToFloat(b));
  }
  const QString sa = ValueToString(a), sb = ValueToString(b);
  const int ci = sa.compare(sb, Qt::CaseInsensitive);
  if (ci != 0) return ci < 0 ? -1 : 1;
  const int cs = sa.compare(sb, Qt::CaseSensitive);
  return cs < 0 ? -1 : cs > 0 ? 1 : 0;
}

bool ValuesEqual(const Value& a, const Value& b) {
  if (IsNull(a) || IsNull(b)) return IsNull(a) && IsNull(b);
  if (a.index() == b.index()) return a == b;
  return CompareValues(a, b) == 0;
}

void CheckTextFits(const FieldDef& def, const Value& v, base::CodePage cp, const QString& table) {
  if (def.Type != FieldType::String && def.Type != FieldType::Memo) return;
  if (IsNull(v)) return;
  const QString text = ValueToString(v);
  if (const QString missing = base::Unencodable(text, cp); !missing.isEmpty())
    throw Error::ForField(table, def.Name,
                          "\"" + text + "\" містить символи, яких немає в кодовій сторінці " +
                              base::CodePageName(cp) + ": " + missing);
  if (def.Type == FieldType::String && def.Size > 0 && base::Encode(text, cp).size() > def.Size)
    throw Error::ForField(table, def.Name,
                          QString("\"%1\" довший за поле в %2 байтів").arg(text).arg(def.Size));
}

} // namespace db
