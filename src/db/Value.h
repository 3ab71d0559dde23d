#pragma once
// One field value of a row. A null (empty) field holds no value; reading it as a number, text
// or boolean gives 0, "" or false.

#include "base/TextCodec.h"

#include <QByteArray>
#include <QDate>
#include <QDateTime>
#include <QString>
#include <QTime>
#include <cstdint>
#include <variant>

namespace db {

using Value = std::variant<std::monostate, bool, int64_t, double, QString, QByteArray, QDate, QTime,
                           QDateTime>;

inline bool IsNull(const Value& v) {
  return std::holds_alternative<std::monostate>(v);
}

int64_t ValueToInteger(const Value& v);
double ValueToFloat(const Value& v);
QString ValueToString(const Value& v);
bool ValueToBoolean(const Value& v);
QByteArray ValueToBytes(const Value& v);

// Orders two values for keys and indexes: nulls first, numbers by value, text without regard to
// letter case (ties broken by case), dates and times in time order.
int CompareValues(const Value& a, const Value& b);

struct FieldDef;
// Refuses, naming the table, the field and the text, a text value that the field cannot hold
// whole: characters outside the code page, or more bytes than the field's width (a text field
// of width 0 takes any length). A new table written from other data (a database's copy) is
// never cut silently.
void CheckTextFits(const FieldDef& def, const Value& v, base::CodePage cp, const QString& table);
bool ValuesEqual(const Value& a, const Value& b);

} // namespace db
