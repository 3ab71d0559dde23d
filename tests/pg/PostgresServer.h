#pragma once
// A PostgreSQL 15 server with PostGIS for one test: initdb into a temporary folder, the server
// on a socket there (no TCP), one database "atlas"; stopped when the object goes. As root the
// server runs as the postgres user, which initdb and postgres require.

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <unistd.h>

class TPostgresServer {
public:
  TPostgresServer() {
    Work.setAutoRemove(true);
    QDir().mkpath(Socket());
    if (geteuid() == 0) Run("chown", {"-R", "postgres", Work.path()});
    Ok = Run(kBin + "/initdb",
             {"-D", Data(), "-A", "trust", "-U", "postgres", "-E", "UTF8", "--locale=C",
              "--no-sync"},
             true) &&
         Run(kBin + "/pg_ctl",
             {"-D", Data(), "-w", "-l", Data() + "/log", "-o",
              QString("-k %1 -p 5433 -c listen_addresses=''").arg(Socket()), "start"},
             true) &&
         Run(kBin + "/createdb", {"-h", Socket(), "-p", "5433", "-U", "postgres", "atlas"});
  }
  ~TPostgresServer() { Run(kBin + "/pg_ctl", {"-D", Data(), "-w", "-m", "fast", "stop"}, true); }

  bool Started() const { return Ok; }
  // Stops the server and starts it again, as a restart of the machine or the service does.
  bool Restart() const {
    return Run(kBin + "/pg_ctl", {"-D", Data(), "-w", "-m", "fast", "restart"}, true);
  }
  QString Uri() const {
    return QString("postgresql:///atlas?host=%1&port=5433&user=postgres").arg(Socket());
  }
  QString Log() const {
    QFile log(Data() + "/log");
    return log.open(QIODevice::ReadOnly) ? QString::fromUtf8(log.readAll()) : QString();
  }
  // Runs psql with one statement; its output, rows unaligned.
  QString Sql(const QString& statement) const {
    QProcess p;
    p.start("psql", {"-h", Socket(), "-p", "5433", "-U", "postgres", "-d", "atlas", "-At", "-c",
                     statement});
    p.waitForFinished(60000);
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
  }

private:
  inline static const QString kBin = "/usr/lib/postgresql/15/bin";
  QString Data() const { return Work.path() + "/data"; }
  QString Socket() const { return Work.path() + "/socket"; }
  bool Run(const QString& program, const QStringList& args, bool asOwner = false) const {
    QProcess p;
    if (asOwner && geteuid() == 0)
      p.start("runuser", QStringList{"-u", "postgres", "--", program} + args);
    else
      p.start(program, args);
    return p.waitForFinished(120000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
  }

  QTemporaryDir Work;
  bool Ok = false;
};
