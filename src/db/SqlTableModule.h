#pragma once
// The atlas's tables inside SQLite: a virtual-table module ("vandrel_table", made with the
// directory and the table's name) whose rows are the table store's rows, changed through it, and
// the functions of the atlas's SQL dialect (LOWER and UPPER of any letters, LIKE with letter
// case).

#include "Value.h"

struct sqlite3;
struct sqlite3_value;

namespace db {

// A value of the engine as the table store's.
Value ValueOfSqlite(sqlite3_value* v);

// Registers the module and the functions on a connection.
void InstallAtlasTables(sqlite3* connection);

} // namespace db
