// vandrel-demo: writes the demo atlas of an invented city.
//   vandrel-demo DIR [--scale N] [--seed S]

#include "AtlasWriter.h"

#include "base/FileError.h"
#include "db/Error.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTextStream>

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  const QStringList args = app.arguments().mid(1);
  QTextStream out(stdout);
  QTextStream err(stderr);
  out.setEncoding(QStringConverter::Utf8);
  err.setEncoding(QStringConverter::Utf8);
  QString dir;
  int scale = 1;
  qulonglong seed = 1;
  for (int i = 0; i < args.size(); ++i) {
    bool ok = true;
    if (args[i] == "--scale" && i + 1 < args.size())
      scale = args[++i].toInt(&ok);
    else if (args[i] == "--seed" && i + 1 < args.size())
      seed = args[++i].toULongLong(&ok);
    else if (!args[i].startsWith("--") && dir.isEmpty())
      dir = args[i];
    else
      ok = false;
    if (!ok || scale < 1 || scale > 1000) {
      err << "usage: vandrel-demo DIR [--scale N (1 to 1000)] [--seed S]\n";
      return 2;
    }
  }
  if (dir.isEmpty()) {
    err << "usage: vandrel-demo DIR [--scale N (1 to 1000)] [--seed S]\n";
    return 2;
  }
  QElapsedTimer timer;
  timer.start();
  try {
    const demo::AtlasSummary summary = demo::WriteAtlas(dir, scale, seed);
    for (const QString& line : summary.Lines)
      out << line << "\n";
    out << QString("%1 map objects, %2 vertices, written in %3 s\n")
               .arg(summary.Objects)
               .arg(summary.Vertices)
               .arg(timer.elapsed() / 1000.0, 0, 'f', 1);
  } catch (const db::Error& e) {
    err << "vandrel-demo: " << e.Message << "\n";
    return 1;
  } catch (const base::FileError& e) {
    err << "vandrel-demo: " << e.what() << "\n";
    return 1;
  }
  return 0;
}
