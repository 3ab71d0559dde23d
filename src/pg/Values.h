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
// The column's CHECK clause (" CHECK (...)", or empty): the database refuses what the table's
// file could not hold, as the file's own writer refuses it (a text wider than its field or with
// characters its code page lacks, a dBase number wider than its field, NaN or infinity).
QString PgFitCheck(const db::FieldDef& f, bool dbase, base::CodePage cp);
Param ToParam(const db::Value& v);
db::Value FromParam(const Param& p, db::FieldType type);
QJsonArray FieldsToJson(const std::vector<db::FieldDef>& fields);
std::vector<db::FieldDef> FieldsFromJson(const QByteArray& text);

// Rows for `json_to_recordset`, written as JSON text as they come: Qt's JSON objects cost more
// than the statement that sends them.
class TJsonRows {
public:
  void StartRow();
  void Add(const QString& name, const Param& value); // a text, or null
  void Add(const QString& name, int64_t value);
  int Count() const { return Rows; }
  // The rows as a JSON array; empty afterwards.
  QByteArray Take();

private:
  void Name(const QString& name);

  QByteArray Text;
  int Rows = 0;
  bool FirstMember = true;
};

} // namespace pg
