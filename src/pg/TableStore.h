#pragma once
// A table of an atlas kept in PostgreSQL behind the table cursor, as a Paradox or dBase file is:
// the location "postgresql://...#MAPS" (or "#SCHEMA/MAPS"; the schema is "atlas" otherwise) in
// place of a directory, the table named as its file was ("Water.dbf"). The rows are read once
// when listed, in the order the file kept them (key order for keyed tables, record number for
// dBase-born ones, whose numbers stay the geometry's record numbers). Every write is one
// transaction that changes a row only if its version is still the one read; a row another user
// changed or removed meanwhile is refused with the cursor's own message; a user the server lets
// only read is refused every write before anything is sent, with the reason. Readers never wait
// for writers.

#include "db/TableFile.h"

namespace pg {

// Makes db::Table open such locations, and the file readers read the atlas's files there
// (FileStore.h); called once by the program and the tools at start.
void RegisterPostgresAtlas();

// Whether a directory name is a database location.
bool IsDatabaseLocation(const QString& location);

} // namespace pg
