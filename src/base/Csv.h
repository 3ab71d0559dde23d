#pragma once
// A field of a CSV line as RFC 4180 writes it: quoted when it holds a separator, a quote or a
// line break, its quotes doubled.

#include <QString>

namespace base {

inline QString CsvField(const QString& text) {
  if (!text.contains(',') && !text.contains('"') && !text.contains('\n') && !text.contains('\r'))
    return text;
  return "\"" + QString(text).replace("\"", "\"\"") + "\"";
}

} // namespace base
