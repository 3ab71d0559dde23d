#pragma once
// GDAL's messages are taken from the calls that fail and said with the layer's name; none is
// printed on the way.

#include <QString>
#include <cpl_error.h>

namespace gis {

struct QuietErrors {
  QuietErrors() {
    CPLPushErrorHandler(CPLQuietErrorHandler);
    CPLErrorReset();
  }
  ~QuietErrors() { CPLPopErrorHandler(); }
  QuietErrors(const QuietErrors&) = delete;
  QuietErrors& operator=(const QuietErrors&) = delete;
};

// GDAL's last message, or a word that it gave none.
inline QString LastError() {
  const QString message = QString::fromUtf8(CPLGetLastErrorMsg()).trimmed();
  return message.isEmpty() ? QString::fromUtf8("невідома помилка GDAL") : message;
}

} // namespace gis
