// vandrel-tables: looks inside the tables of an atlas. DIR may be a folder of an atlas kept in
// PostgreSQL: "postgresql:///city?host=/run/postgresql#MAPS".
//   vandrel-tables list DIR
//   vandrel-tables dump DIR TABLE [--csv] [--codepage N]
//   vandrel-tables sql DIR "STATEMENT" [--csv]

#include "TableDump.h"

#include "base/SecretText.h"
#include "db/Error.h"
#include "pg/TableStore.h"

#include <QCoreApplication>
#include <QTextStream>
#include <cstdio>

namespace {

int Usage(QTextStream& err) {
  err << "usage: vandrel-tables list DIR\n"
         "       vandrel-tables dump DIR TABLE [--csv] [--codepage N]\n"
         "       vandrel-tables sql DIR \"STATEMENT\" [--csv]\n";
  return 2;
}

// One statement through the query engine over the tables of DIR: a result is printed like a
// dump, a change says how many rows it changed.
int RunSql(const QStringList& args, QTextStream& out, QTextStream& err) {
  const bool csv = args.size() > 3 && args[3] == "--csv";
  if (args.size() > 4 || (args.size() == 4 && !csv)) return Usage(err);
  try {
    db::Query query;
    query.SetDatabaseName(args[1]);
    query.SQL = QStringList{args[2]};
    const QString verb = args[2].trimmed().section(' ', 0, 0).toUpper();
    if (verb == "SELECT" || verb == "WITH") {
      query.Open();
      tools::DumpQuery(query, csv, out);
    } else {
      out << query.ExecSQL() << " rows changed\n";
    }
  } catch (const db::Error& e) {
    err << "vandrel-tables: " << e.Message << "\n";
    return 1;
  }
  return 0;
}

int Run(const QStringList& args, QTextStream& out, QTextStream& err) {
  if (args.size() >= 2 && args[0] == "list") return tools::ListTables(args[1], out) == 0 ? 0 : 1;
  if (args.size() >= 3 && args[0] == "sql") return RunSql(args, out, err);
  if (args.size() < 3 || args[0] != "dump") return Usage(err);
  bool csv = false;
  std::optional<base::CodePage> codePage;
  for (int i = 3; i < args.size(); ++i) {
    if (args[i] == "--csv") {
      csv = true;
    } else if (args[i] == "--codepage" && i + 1 < args.size()) {
      base::CodePage cp;
      if (!base::CodePageFromName(args[++i], cp)) {
        err << "unknown code page " << args[i] << "\n";
        return 2;
      }
      codePage = cp;
    } else {
      return Usage(err);
    }
  }
  try {
    db::Table table(args[1], args[2]);
    table.SetCodePage(codePage);
    table.Open();
    tools::DumpTable(table, csv, out);
  } catch (const db::Error& e) {
    err << "vandrel-tables: " << e.Message << "\n";
    return 1;
  }
  return 0;
}

} // namespace

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  pg::RegisterPostgresAtlas();
  QTextStream out(stdout);
  QTextStream err(stderr);
  out.setEncoding(QStringConverter::Utf8);
  err.setEncoding(QStringConverter::Utf8);
  // Whatever fails (a server that refuses or goes away, a folder that is not there) is said,
  // never the end of the program.
  try {
    return Run(app.arguments().mid(1), out, err);
  } catch (const std::exception& e) {
    out.flush();
    err << "vandrel-tables: " << base::HidePasswords(QString::fromUtf8(e.what())) << "\n";
    return 1;
  }
}
