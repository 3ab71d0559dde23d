#pragma once
// Field values between the table store and PostgreSQL: the column type of a field, a value as
// a statement's text parameter, a result's text as a value, and the fields' descriptions as the
// catalog keeps them (JSON).

#include "Connection.h"

#include "db/FieldDef.h"
#include "db/Value.h"

#include <QJsonArray>
#include <vector>

namespace pg {

QString PgType(const db::FieldDef& f, bool dbase);
Param ToParam(const db::Value& v);
db::Value FromParam(const Param& p, db::FieldType type);
QJsonArray FieldsToJson(const std::vector<db::FieldDef>& fields);
std::vector<db::FieldDef> FieldsFromJson(const QByteArray& text);

} // namespace pg
