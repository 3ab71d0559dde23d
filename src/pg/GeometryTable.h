#pragma once
// A geometry file as its table in the database holds it, made again as the file's bytes: the
// header kept at the import with the length set, each record's own bytes (a record whose shape
// another client changed made from the shape), and the index file of the records' places.

#include "Connection.h"

#include <QByteArray>
#include <QString>

namespace pg {

struct TGeometryBytes {
  QByteArray Main, Index;
  bool Rewritten = false; // some record was made from a shape changed in the database
};

// `table` is the quoted name of the geometry's table; `header` the file's first 100 bytes.
TGeometryBytes ReadGeometryTable(Connection& c, const QString& table, QByteArray header,
                                 int shapeType);

} // namespace pg
