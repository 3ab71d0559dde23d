#pragma once
// The files of an atlas kept in PostgreSQL, for the program's file readers: a path such as
// "postgresql:///city?host=/run/postgresql#MAPS/Water.shp" (or "#SCHEMA/MAPS/..."; the schema is
// "atlas" otherwise) reads the geometry file its table holds, made again as the file's bytes and
// kept while the table is unchanged; an INI file or any other file of the atlas reads the bytes
// the database keeps, and is written there whole in one transaction. The folders list what the
// database holds under them. Each schema's channel is listened to: a change told there makes the
// catalog read again, and a watcher waits on its socket.

namespace pg {

// Makes the program's file readers read such paths; RegisterPostgresAtlas calls it.
void RegisterPostgresFiles();

} // namespace pg
