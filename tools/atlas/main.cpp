// vandrel-atlas: an atlas copied whole between its files and a PostgreSQL database.
//
//   vandrel-atlas to-postgres DIR URI [--schema NAME]
//   vandrel-atlas to-files URI DIR [--schema NAME]
//
// URI is a libpq connection string or URI ("postgresql:///city?host=/run/postgresql"); the
// schema is "atlas" unless named. Prints each table and file as it goes, then the counts and
// what was not kept as it was; exits 1 when the copy fails (nothing is left behind then), 2 for
// arguments it does not understand.

#include "pg/AtlasCopy.h"

#include <QCoreApplication>
#include <QTextStream>

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  QTextStream out(stdout), err(stderr);
  QStringList args = app.arguments().mid(1);
  QString schema = "atlas";
  if (const qsizetype at = args.indexOf("--schema"); at >= 0 && at + 1 < args.size()) {
    schema = args[at + 1];
    args.remove(at, 2);
  }
  if (args.size() != 3 || (args[0] != "to-postgres" && args[0] != "to-files")) {
    err << "usage: vandrel-atlas to-postgres DIR URI [--schema NAME]\n"
           "       vandrel-atlas to-files URI DIR [--schema NAME]\n";
    return 2;
  }
  const auto progress = [&](const QString& what) { out << what << "\n" << Qt::flush; };
  try {
    const pg::TCopyReport report = args[0] == "to-postgres"
                                       ? pg::CopyAtlasToPostgres(args[1], args[2], schema, progress)
                                       : pg::CopyAtlasToFiles(args[1], schema, args[2], progress);
    for (const QString& note : report.Notes)
      err << "vandrel-atlas: " << note << "\n";
    out << report.Tables << " tables (" << report.Rows << " rows), " << report.GeometryFiles
        << " geometry files (" << report.Records << " records), " << report.Files
        << " other files\n";
  } catch (const std::exception& e) {
    err << "vandrel-atlas: " << QString::fromUtf8(e.what()) << "\n";
    return 1;
  }
  return 0;
}
