#include "Cursors.h"

#include <QPixmap>
#include <map>

namespace {

std::map<int, QCursor>& CursorTable() {
  static std::map<int, QCursor> table;
  return table;
}

} // namespace

QCursor TCursors::FromResource(const QString& name, Qt::CursorShape fallback) {
  const QPixmap picture(":/cursors/" + name + ".xpm");
  if (picture.isNull()) return QCursor(fallback);
  return QCursor(picture, picture.width() / 2, picture.height() / 2);
}

void TCursors::Register(int number, const QCursor& cursor) {
  CursorTable()[number] = cursor;
}

QCursor TCursors::Get(int number) {
  const auto it = CursorTable().find(number);
  return it == CursorTable().end() ? QCursor(Qt::ArrowCursor) : it->second;
}
