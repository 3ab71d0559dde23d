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

// A message of GDAL, PROJ or curl said first in the users' words where it is one they meet
// often ("сервер з такою назвою не знайдено в мережі (Could not resolve host: ...)"), else as it
// came.
QString InWords(const QString& message);

// GDAL's last message so said, or a word that it gave none.
QString LastError();

} // namespace gis
