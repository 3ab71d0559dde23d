#include "Values.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QStringList>
#include <cmath>

namespace pg {

QString PgType(const db::FieldDef& f, bool dbase) {
  using db::FieldType;
  switch (f.Type) {
  case FieldType::String:
  case FieldType::Memo:
    return "text";
  case FieldType::SmallInt:
    return "smallint";
  case FieldType::Integer:
    return dbase ? "bigint" : "integer"; // a dBase number of ten digits passes 32 bits
  case FieldType::AutoInc:
    return "integer";
  case FieldType::Float:
  case FieldType::Currency:
  case FieldType::BCD:
    return "double precision";
  case FieldType::Boolean:
    return "boolean";
  case FieldType::Date:
    return "date";
  case FieldType::Time:
    return "time";
  case FieldType::DateTime:
    return "timestamp";
  default:
    return "bytea";
  }
}

namespace {

// PostgreSQL's name of a code page, or empty where it has none.
QString PgEncoding(base::CodePage cp) {
  switch (cp) {
  case base::CodePage::Cp1251:
    return "WIN1251";
  case base::CodePage::Cp866:
    return "WIN866";
  case base::CodePage::Cp1252:
    return "WIN1252";
  case base::CodePage::Cp1250:
    return "WIN1250";
  case base::CodePage::Iso8859_5:
    return "ISO_8859_5";
  case base::CodePage::Utf8:
    return "UTF8";
  default:
    return {};
  }
}

} // namespace

QString PgFitCheck(const db::FieldDef& f, bool dbase, base::CodePage cp) {
  using db::FieldType;
  const QString column = Connection::Ident(f.Name);
  switch (f.Type) {
  case FieldType::String:
  case FieldType::Memo: {
    // convert_to refuses a character the code page lacks; the bytes it gives are the file's.
    const QString encoding = PgEncoding(cp);
    const QString bytes = encoding.isEmpty()
                              ? QString("char_length(%1)").arg(column)
                              : QString("octet_length(convert_to(%1, '%2'))").arg(column, encoding);
    if (f.Type == FieldType::Memo || f.Size <= 0)
      return encoding.isEmpty() ? QString() : QString(" CHECK (%1 >= 0)").arg(bytes);
    return QString(" CHECK (%1 <= %2)").arg(bytes).arg(f.Size);
  }
  case FieldType::Integer:
    if (!dbase || f.Size <= 0) return {};
    return QString(" CHECK (length(%1::text) <= %2)").arg(column).arg(f.Size);
  case FieldType::Float:
  case FieldType::Currency:
  case FieldType::BCD: {
    const QString finite = QString("%1 NOT IN ('NaN', 'Infinity', '-Infinity')").arg(column);
    if (!dbase || f.Size <= 0) return QString(" CHECK (%1)").arg(finite);
    // The number as the file writes it: rounded to the field's decimals.
    return QString(" CHECK (%1 AND length(round(%2::numeric, %3)::text) <= %4)")
        .arg(finite, column)
        .arg(f.Decimals)
        .arg(f.Size);
  }
  default:
    return {};
  }
}

Param ToParam(const db::Value& v) {
  return std::visit(
      [](const auto& x) -> Param {
        using T = std::decay_t<decltype(x)>;
        if constexpr (std::is_same_v<T, std::monostate>)
          return std::nullopt;
        else if constexpr (std::is_same_v<T, bool>)
          return QByteArray(x ? "true" : "false");
        else if constexpr (std::is_same_v<T, int64_t>)
          return QByteArray::number(qlonglong(x));
        else if constexpr (std::is_same_v<T, double>)
          return std::isnan(x)   ? QByteArray("NaN")
                 : std::isinf(x) ? QByteArray(x > 0 ? "Infinity" : "-Infinity")
                                 : QByteArray::number(x, 'g', 17);
        else if constexpr (std::is_same_v<T, QString>)
          return x.toUtf8();
        else if constexpr (std::is_same_v<T, QByteArray>)
          return Connection::Bytea(x);
        else if constexpr (std::is_same_v<T, QDate>)
          return x.isValid() ? Param(x.toString(Qt::ISODate).toLatin1()) : std::nullopt;
        else if constexpr (std::is_same_v<T, QTime>)
          return x.isValid() ? Param(x.toString("HH:mm:ss.zzz").toLatin1()) : std::nullopt;
        else
          return x.isValid() ? Param(x.toString("yyyy-MM-dd HH:mm:ss.zzz").toLatin1())
                             : std::nullopt;
      },
      v);
}

namespace {

// "12:34:56", "12:34:56.5", "12:34:56.123456" as the server prints times.
QTime ParseTime(const QString& text) {
  const QStringList parts = text.split('.');
  QTime t = QTime::fromString(parts[0], "HH:mm:ss");
  if (parts.size() > 1) t = t.addMSecs((parts[1] + "000").left(3).toInt());
  return t;
}

} // namespace

db::Value FromParam(const Param& p, db::FieldType type) {
  using db::FieldType;
  if (!p) return {};
  const QByteArray& b = *p;
  switch (type) {
  case FieldType::String:
  case FieldType::Memo:
    return QString::fromUtf8(b);
  case FieldType::SmallInt:
  case FieldType::Integer:
  case FieldType::AutoInc:
    return int64_t(b.toLongLong());
  case FieldType::Float:
  case FieldType::Currency:
  case FieldType::BCD:
    return b == "NaN"         ? std::nan("")
           : b == "Infinity"  ? HUGE_VAL
           : b == "-Infinity" ? -HUGE_VAL
                              : b.toDouble();
  case FieldType::Boolean:
    return b == "t";
  case FieldType::Date:
    return QDate::fromString(QString::fromLatin1(b), Qt::ISODate);
  case FieldType::Time:
    return ParseTime(QString::fromLatin1(b));
  case FieldType::DateTime: {
    const QString text = QString::fromLatin1(b);
    return QDateTime(QDate::fromString(text.left(10), Qt::ISODate), ParseTime(text.mid(11)));
  }
  default:
    return Connection::FromBytea(b);
  }
}

QJsonArray FieldsToJson(const std::vector<db::FieldDef>& fields) {
  QJsonArray array;
  for (const db::FieldDef& f : fields)
    array.append(QJsonObject{{"name", f.Name},
                             {"type", int(f.Type)},
                             {"size", f.Size},
                             {"decimals", f.Decimals},
                             {"physical", f.PhysicalType}});
  return array;
}

std::vector<db::FieldDef> FieldsFromJson(const QByteArray& text) {
  std::vector<db::FieldDef> fields;
  for (const QJsonValue& v : QJsonDocument::fromJson(text).array()) {
    const QJsonObject o = v.toObject();
    fields.push_back({o["name"].toString(), db::FieldType(o["type"].toInt()), o["size"].toInt(),
                      o["decimals"].toInt(), o["physical"].toInt()});
  }
  return fields;
}

namespace {

void AppendJsonString(QByteArray& out, const QByteArray& text) {
  out += '"';
  for (const char c : text) {
    if (c == '"' || c == '\\') {
      out += '\\';
      out += c;
    } else if (uchar(c) < 0x20) {
      out += QByteArray("\\u00") + QByteArray::number(uchar(c), 16).rightJustified(2, '0');
    } else {
      out += c;
    }
  }
  out += '"';
}

} // namespace

void TJsonRows::StartRow() {
  Text += Rows++ == 0 ? "[{" : "},{";
  FirstMember = true;
}

void TJsonRows::Name(const QString& name) {
  if (!FirstMember) Text += ',';
  FirstMember = false;
  AppendJsonString(Text, name.toUtf8());
  Text += ':';
}

void TJsonRows::Add(const QString& name, const Param& value) {
  Name(name);
  if (value)
    AppendJsonString(Text, *value);
  else
    Text += "null";
}

void TJsonRows::Add(const QString& name, int64_t value) {
  Name(name);
  Text += QByteArray::number(qint64(value));
}

QByteArray TJsonRows::Take() {
  QByteArray json = Rows == 0 ? QByteArray("[]") : Text + "}]";
  Text.clear();
  Rows = 0;
  return json;
}

} // namespace pg
