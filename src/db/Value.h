#pragma once
// One field value of a row. A null (empty) field holds no value; reading it as a number, text
// or boolean gives 0, "" or false.

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
bool ValuesEqual(const Value& a, const Value& b);

} // namespace db
