#include "GeometryTable.h"

#include "Wkb.h"

#include "base/ByteOrder.h"

namespace pg {

TGeometryBytes ReadGeometryTable(Connection& c, const QString& table, QByteArray header,
                                 int shapeType) {
  const Result records = c.ExecBinary(
      QString("SELECT content, CASE WHEN content IS NULL THEN ST_AsBinary(shape) END FROM %1 "
              "ORDER BY record")
          .arg(table));
  TGeometryBytes made;
  QByteArray& body = made.Main;
  QByteArray& index = made.Index;
  body.reserve(qsizetype(records.Rows.size()) * 64);
  uint32_t number = 0;
  for (const auto& r : records.Rows) {
    QByteArray content;
    if (r[0]) {
      content = *r[0];
    } else if (r[1]) { // the shape was changed in the database: its record is made from it
      content = WkbToRecord(*r[1], shapeType);
      made.Rewritten = true;
    } else {
      content = QByteArray(4, '\0'); // a null shape
    }
    char head[8];
    base::PutU32BE(head, ++number);
    base::PutU32BE(head + 4, uint32_t(content.size() / 2));
    char entry[8];
    base::PutU32BE(entry, uint32_t((100 + body.size()) / 2));
    base::PutU32BE(entry + 4, uint32_t(content.size() / 2));
    index.append(entry, 8);
    body.append(head, 8);
    body += content;
  }
  if (header.size() < 100) header.resize(100, '\0');
  base::PutU32BE(header.data() + 24, uint32_t((100 + body.size()) / 2));
  QByteArray indexHeader = header;
  base::PutU32BE(indexHeader.data() + 24, uint32_t((100 + index.size()) / 2));
  body.prepend(header);
  index.prepend(indexHeader);
  return made;
}

} // namespace pg
