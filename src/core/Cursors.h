#pragma once
// The program's cursors by number, as the main window and the map control register them.

#include <QCursor>
#include <QString>

class TCursors {
public:
  static void Register(int number, const QCursor& cursor);
  static QCursor Get(int number); // the standard arrow for unknown numbers
  // A cursor of the program's resources (":/cursors/NAME.xpm", its hot spot in the middle), or
  // `fallback` where the resources are not linked.
  static QCursor FromResource(const QString& name, Qt::CursorShape fallback);
};
