#include "GdalErrors.h"

#include <QRegularExpression>

namespace gis {

QString InWords(const QString& message) {
  // The reasons a user meets most (a network source, a file, a coordinate system), by a part of
  // GDAL's, PROJ's or curl's own text; anything else is given as it came.
  static const struct {
    const char* Part;
    const char* Said;
  } kKnown[] = {
      {"could not resolve host", "сервер з такою назвою не знайдено в мережі"},
      {"connection refused", "сервер не приймає з'єднань"},
      {"timed out", "сервер не відповів вчасно"},
      {"timeout was reached", "сервер не відповів вчасно"},
      {"couldn't connect", "немає з'єднання з сервером"},
      {"permission denied", "немає дозволу"},
      {"no such file or directory", "файлу немає"},
      {"does not exist in the file system", "файлу немає"},
      {"not recognized as a supported file format", "GDAL не знає формату цього файлу"},
      {"crs not found", "такої системи координат немає в базі PROJ"},
      {"unknown projection", "невідома проєкція"},
      {"invalid projection", "проєкцію записано з помилкою"},
      {"http error code", "сервер відповів помилкою"},
      {"ssl", "захищене з'єднання не встановлено"},
  };
  const QString lower = message.toLower();
  for (const auto& known : kKnown)
    if (lower.contains(QLatin1String(known.Part)))
      return QString::fromUtf8(known.Said) + " (" + message + ")";
  return message;
}

QString LastError() {
  const QString message = QString::fromUtf8(CPLGetLastErrorMsg()).trimmed();
  return message.isEmpty() ? QString::fromUtf8("невідома помилка GDAL") : InWords(message);
}

} // namespace gis
