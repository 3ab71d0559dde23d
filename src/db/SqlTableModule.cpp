#include "SqlTableModule.h"

#include "Error.h"
#include "Query.h"
#include "Table.h"

#include <sqlite3.h>

namespace db {
namespace {

// One table of the directory: its cursor, read whole when the table is first used. A statement
// that writes it holds the table's lock from its start (xBegin, before the scan) to its end, and
// its changes are kept here and written together when it ends (xSync), or dropped (xRollback):
// no other writer comes between what the statement read and what it writes, and a statement
// that fails half-way leaves the table as it was.
struct AtlasTable {
  sqlite3_vtab Base{}; // must come first: SQLite hands this struct around as its base
  std::unique_ptr<Table> Rows;
  std::vector<TableWriter::RowChange> Pending;       // the running statement's changes
  sqlite3_int64 NextNewRow = sqlite3_int64(1) << 62; // rowids given to inserted rows meanwhile
};

// A scan of a table: the position of the row it stands on, in the table's order.
struct AtlasCursor {
  sqlite3_vtab_cursor Base{};
  int Position = 0;
};

AtlasTable& TableOf(sqlite3_vtab* v) {
  return *reinterpret_cast<AtlasTable*>(v);
}
AtlasTable& TableOf(sqlite3_vtab_cursor* c) {
  return TableOf(c->pVtab);
}
AtlasCursor& CursorOf(sqlite3_vtab_cursor* c) {
  return *reinterpret_cast<AtlasCursor*>(c);
}

int Fail(sqlite3_vtab* v, const QString& message) {
  sqlite3_free(v->zErrMsg);
  v->zErrMsg = sqlite3_mprintf("%s", message.toUtf8().constData());
  return SQLITE_ERROR;
}

// A module argument as written in CREATE VIRTUAL TABLE: 'text' with doubled quotes.
QString Unquote(const char* argument) {
  QString text = QString::fromUtf8(argument).trimmed();
  if (text.size() >= 2 && text.startsWith('\'') && text.endsWith('\''))
    text = text.mid(1, text.size() - 2).replace("''", "'");
  return text;
}

const char* SqlType(FieldType type) {
  switch (type) {
  case FieldType::Boolean:
  case FieldType::SmallInt:
  case FieldType::Integer:
  case FieldType::AutoInc:
    return "INTEGER";
  case FieldType::Float:
  case FieldType::Currency:
  case FieldType::BCD:
    return "REAL";
  default:
    return IsBlobType(type) && type != FieldType::Memo ? "BLOB" : "TEXT";
  }
}

int Connect(sqlite3* connection, void*, int argc, const char* const* argv, sqlite3_vtab** out,
            char** error) {
  if (argc < 5) {
    *error = sqlite3_mprintf("the table module needs a directory and a table name");
    return SQLITE_ERROR;
  }
  auto table = std::make_unique<AtlasTable>();
  try {
    table->Rows = std::make_unique<Table>(Unquote(argv[3]), Unquote(argv[4]));
    table->Rows->Open();
  } catch (const std::exception& e) {
    *error = sqlite3_mprintf("%s", e.what());
    return SQLITE_ERROR;
  }
  QStringList columns;
  bool positionNamed = false;
  for (const FieldDef& f : table->Rows->FieldDefs()) {
    columns << "\"" + QString(f.Name).replace('"', "\"\"") + "\" " + SqlType(f.Type);
    positionNamed =
        positionNamed || f.Name.compare(Query::PositionColumn, Qt::CaseInsensitive) == 0;
  }
  // The row's position, hidden from "*": a field of that name keeps its own.
  if (!positionNamed) columns << QString(Query::PositionColumn) + " INTEGER HIDDEN";
  const QByteArray schema = ("CREATE TABLE x(" + columns.join(", ") + ")").toUtf8();
  if (const int rc = sqlite3_declare_vtab(connection, schema.constData()); rc != SQLITE_OK)
    return rc;
  *out = &table.release()->Base;
  return SQLITE_OK;
}

int Disconnect(sqlite3_vtab* v) {
  delete &TableOf(v);
  return SQLITE_OK;
}

int BestIndex(sqlite3_vtab* v, sqlite3_index_info* info) {
  // Only a full scan is offered.
  info->estimatedCost = double(TableOf(v).Rows->RecordCount()) + 1;
  info->estimatedRows = TableOf(v).Rows->RecordCount();
  return SQLITE_OK;
}

int OpenCursor(sqlite3_vtab*, sqlite3_vtab_cursor** out) {
  *out = &(new AtlasCursor)->Base;
  return SQLITE_OK;
}

int CloseCursor(sqlite3_vtab_cursor* c) {
  delete &CursorOf(c);
  return SQLITE_OK;
}

int Filter(sqlite3_vtab_cursor* c, int, const char*, int, sqlite3_value**) {
  CursorOf(c).Position = 0;
  try {
    TableOf(c).Rows->Refresh(); // another program or cursor may have written it since
  } catch (const std::exception& e) {
    return Fail(c->pVtab, QString::fromUtf8(e.what()));
  }
  return SQLITE_OK;
}

int Next(sqlite3_vtab_cursor* c) {
  ++CursorOf(c).Position;
  return SQLITE_OK;
}

int AtEnd(sqlite3_vtab_cursor* c) {
  return CursorOf(c).Position >= TableOf(c).Rows->RecordCount();
}

void ResultValue(sqlite3_context* context, const Value& v) {
  if (IsNull(v)) return sqlite3_result_null(context);
  if (const auto* b = std::get_if<bool>(&v)) return sqlite3_result_int64(context, *b);
  if (const auto* i = std::get_if<int64_t>(&v)) return sqlite3_result_int64(context, *i);
  if (const auto* d = std::get_if<double>(&v)) return sqlite3_result_double(context, *d);
  if (const auto* bytes = std::get_if<QByteArray>(&v))
    return sqlite3_result_blob64(context, bytes->constData(), sqlite3_uint64(bytes->size()),
                                 SQLITE_TRANSIENT);
  const QByteArray text = ValueToString(v).toUtf8();
  sqlite3_result_text64(context, text.constData(), sqlite3_uint64(text.size()), SQLITE_TRANSIENT,
                        SQLITE_UTF8);
}

int Column(sqlite3_vtab_cursor* c, sqlite3_context* context, int column) {
  // A column an UPDATE leaves alone is not read: it is not written either.
  if (sqlite3_vtab_nochange(context)) return SQLITE_OK;
  Table& t = *TableOf(c).Rows;
  if (size_t(column) >= t.FieldDefs().size())
    return sqlite3_result_int64(context, CursorOf(c).Position), SQLITE_OK;
  try {
    const Value v = t.ValueAt(CursorOf(c).Position, size_t(column));
    // A blank text field is an empty text to the dialect, so that "||" keeps the rest of a line.
    if (IsNull(v) && IsTextType(t.FieldDefs()[size_t(column)].Type))
      return sqlite3_result_text(context, "", 0, SQLITE_STATIC), SQLITE_OK;
    ResultValue(context, v);
  } catch (const std::exception& e) { // a row another program took away, a server gone
    sqlite3_result_error(context, e.what(), -1);
    return SQLITE_ERROR;
  }
  return SQLITE_OK;
}

int RowId(sqlite3_vtab_cursor* c, sqlite3_int64* rowid) {
  // The row's bookmark: it names the row whatever order changes a write makes.
  Table& t = *TableOf(c).Rows;
  try {
    t.SetRecNo(CursorOf(c).Position + 1);
    *rowid = sqlite3_int64(t.GetBookmark());
  } catch (const std::exception& e) {
    return Fail(c->pVtab, QString::fromUtf8(e.what()));
  }
  return SQLITE_OK;
}

// DELETE (one argument), INSERT (a null old rowid) and UPDATE, kept until the statement ends.
// An UPDATE's change names only the columns its SET gives.
int Update(sqlite3_vtab* v, int argc, sqlite3_value** argv, sqlite3_int64* rowid) {
  AtlasTable& table = TableOf(v);
  Table& t = *table.Rows;
  try {
    TableWriter::RowChange change;
    if (argc == 1) {
      change.What = TableWriter::RowChange::Kind::Delete;
      change.Row = Table::Bookmark(sqlite3_value_int64(argv[0]));
      table.Pending.push_back(std::move(change));
      return SQLITE_OK;
    }
    const bool insert = sqlite3_value_type(argv[0]) == SQLITE_NULL;
    if (!insert && sqlite3_value_int64(argv[0]) != sqlite3_value_int64(argv[1]))
      return Fail(v, "ідентичність рядка не можна змінити");
    change.What =
        insert ? TableWriter::RowChange::Kind::Insert : TableWriter::RowChange::Kind::Update;
    if (!insert) change.Row = Table::Bookmark(sqlite3_value_int64(argv[0]));
    // The hidden position comes last and is not stored.
    const int fields = std::min(argc, 2 + int(t.FieldDefs().size()));
    for (int i = 2; i < fields; ++i) {
      if (!insert && sqlite3_value_nochange(argv[i])) continue;
      const size_t field = size_t(i - 2);
      change.Set.emplace_back(field, t.Writes().CoerceField(field, ValueOfSqlite(argv[i])));
    }
    table.Pending.push_back(std::move(change));
    if (insert) *rowid = table.NextNewRow++;
    return SQLITE_OK;
  } catch (const std::exception& e) {
    return Fail(v, QString::fromUtf8(e.what()));
  }
}

int Begin(sqlite3_vtab* v) {
  AtlasTable& table = TableOf(v);
  table.Pending.clear();
  try {
    table.Rows->Writes().BeginWrites();
  } catch (const std::exception& e) {
    return Fail(v, QString::fromUtf8(e.what()));
  }
  return SQLITE_OK;
}

// Also called, with nothing to write and no xBegin before, at the end of the CREATE VIRTUAL
// TABLE that made the table.
int Sync(sqlite3_vtab* v) {
  AtlasTable& table = TableOf(v);
  try {
    table.Rows->Writes().WriteChanges(table.Pending);
  } catch (const std::exception& e) {
    table.Pending.clear();
    return Fail(v, QString::fromUtf8(e.what()));
  }
  table.Pending.clear();
  return SQLITE_OK;
}

int End(sqlite3_vtab* v) {
  AtlasTable& table = TableOf(v);
  table.Pending.clear();
  try {
    table.Rows->Writes().EndWrites();
  } catch (const std::exception& e) {
    return Fail(v, QString::fromUtf8(e.what()));
  }
  return SQLITE_OK;
}

const sqlite3_module kAtlasModule = {
    1,      Connect, Connect, BestIndex, Disconnect, Disconnect, OpenCursor, CloseCursor,
    Filter, Next,    AtEnd,   Column,    RowId,      Update,     Begin,      Sync,
    End,    End,     nullptr, nullptr,   nullptr,    nullptr,    nullptr,    nullptr};

// ---------------------------------------------------------------- functions of the dialect

QString TextArgument(sqlite3_value* v) {
  return QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_value_text(v)),
                           sqlite3_value_bytes(v));
}

void ResultText(sqlite3_context* context, const QString& text) {
  const QByteArray bytes = text.toUtf8();
  sqlite3_result_text64(context, bytes.constData(), sqlite3_uint64(bytes.size()), SQLITE_TRANSIENT,
                        SQLITE_UTF8);
}

void LowerFunction(sqlite3_context* context, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return sqlite3_result_null(context);
  ResultText(context, TextArgument(argv[0]).toLower());
}

void UpperFunction(sqlite3_context* context, int, sqlite3_value** argv) {
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL) return sqlite3_result_null(context);
  ResultText(context, TextArgument(argv[0]).toUpper());
}

// "%" any run of characters, "_" one character, `escape` makes the next character plain.
bool Like(QStringView pattern, QStringView text, QChar escape) {
  qsizetype p = 0, t = 0, starP = -1, starT = 0;
  while (t < text.size()) {
    if (p < pattern.size() && pattern[p] == '%') {
      starP = p++;
      starT = t;
      continue;
    }
    if (p < pattern.size()) {
      QChar c = pattern[p];
      qsizetype width = 1;
      const bool escaped = !escape.isNull() && c == escape && p + 1 < pattern.size();
      if (escaped) c = pattern[p + 1], width = 2;
      if ((!escaped && c == '_') || c == text[t]) {
        p += width;
        ++t;
        continue;
      }
    }
    if (starP < 0) return false;
    p = starP + 1;
    t = ++starT;
  }
  while (p < pattern.size() && pattern[p] == '%')
    ++p;
  return p == pattern.size();
}

void LikeFunction(sqlite3_context* context, int argc, sqlite3_value** argv) {
  // like(pattern, text[, escape]), as SQLite calls it for "text LIKE pattern".
  if (sqlite3_value_type(argv[0]) == SQLITE_NULL || sqlite3_value_type(argv[1]) == SQLITE_NULL)
    return sqlite3_result_null(context);
  const QString escape = argc > 2 ? TextArgument(argv[2]) : QString();
  sqlite3_result_int(context, Like(TextArgument(argv[0]), TextArgument(argv[1]),
                                   escape.isEmpty() ? QChar() : escape[0]));
}

} // namespace

Value ValueOfSqlite(sqlite3_value* v) {
  switch (sqlite3_value_type(v)) {
  case SQLITE_INTEGER:
    return int64_t(sqlite3_value_int64(v));
  case SQLITE_FLOAT:
    return sqlite3_value_double(v);
  case SQLITE_TEXT:
    return QString::fromUtf8(reinterpret_cast<const char*>(sqlite3_value_text(v)),
                             sqlite3_value_bytes(v));
  case SQLITE_BLOB:
    return QByteArray(static_cast<const char*>(sqlite3_value_blob(v)), sqlite3_value_bytes(v));
  default:
    return Value();
  }
}

void InstallAtlasTables(sqlite3* connection) {
  sqlite3_create_module_v2(connection, "vandrel_table", &kAtlasModule, nullptr, nullptr);
  const int text = SQLITE_UTF8 | SQLITE_DETERMINISTIC;
  sqlite3_create_function_v2(connection, "lower", 1, text, nullptr, LowerFunction, nullptr, nullptr,
                             nullptr);
  sqlite3_create_function_v2(connection, "upper", 1, text, nullptr, UpperFunction, nullptr, nullptr,
                             nullptr);
  sqlite3_create_function_v2(connection, "like", 2, text, nullptr, LikeFunction, nullptr, nullptr,
                             nullptr);
  sqlite3_create_function_v2(connection, "like", 3, text, nullptr, LikeFunction, nullptr, nullptr,
                             nullptr);
}

} // namespace db
