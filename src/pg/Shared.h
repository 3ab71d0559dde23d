#pragma once
// What the table and file stores of a database atlas share: where a location points (the
// server, the schema, the path in the atlas) and one connection per server.

#include "Connection.h"

#include <QString>
#include <memory>
#include <mutex>

namespace pg {

// "postgresql:///city?host=/run/postgresql#MAPS/Water.shp": the server (before the first '#'),
// the schema ("atlas" unless the first name after '#' is not one of the atlas's folders) and
// the path in the atlas ("MAPS/Water.shp"; empty for the atlas itself).
struct TPlace {
  QString Uri, Schema, Path;
  explicit TPlace(const QString& location);
  // The schema's name quoted for a statement.
  QString SchemaIdent() const { return Connection::Ident(Schema); }
};

// The database's name, and the schema's after a slash unless it is "atlas": "city", "city/north".
QString AtlasName(const QString& location);

// A file's or table's signature: its path in the atlas, the identity of its table in the
// database (a table made again by another import has another) and its count of changes.
QString StampSignature(const QString& path, const QString& tableOid, int64_t stamp);

// The atlas's folders, as the database keeps them.
bool IsAtlasFolder(const QString& name);

// One connection per server location, shared by the tables and files opened there; libpq
// serves one statement at a time on it, so it is used under Lock.
struct TShared {
  std::unique_ptr<Connection> Conn;
  std::mutex Lock;
  // The connection at the start of an operation, connected again when the server went away
  // since (a statement inside a transaction uses Conn: a connection lost there fails it).
  Connection& Ready() {
    if (Conn->Lost()) Conn->Reconnect();
    return *Conn;
  }
};
std::shared_ptr<TShared> SharedConnection(const QString& uri);
// One statement on the server's shared connection.
Result SharedQuery(const QString& uri, const QString& sql, const std::vector<Param>& params = {});

} // namespace pg
