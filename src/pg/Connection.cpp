#include "Connection.h"

#include "base/NetworkGuard.h"

#include <libpq-fe.h>
#include <poll.h>

namespace pg {

namespace {

[[noreturn]] void Fail(pg_conn* handle, const QString& what) {
  throw Error(QString::fromUtf8("PostgreSQL: %1: %2")
                  .arg(what, QString::fromUtf8(PQerrorMessage(handle)).trimmed()));
}

} // namespace

Connection::Connection(const QString& uri) {
  {
    const base::OwnConnection own; // the atlas's own server, whatever its sources may reach
    Handle = PQconnectdb(uri.toUtf8().constData());
  }
  if (PQstatus(Handle) != CONNECTION_OK) {
    const QString message = QString::fromUtf8(PQerrorMessage(Handle)).trimmed();
    PQfinish(Handle);
    Handle = nullptr;
    throw Error(QString::fromUtf8("PostgreSQL: немає з'єднання з %1: %2").arg(uri, message));
  }
  Prepare();
}

void Connection::Prepare() {
  // Texts travel as UTF-8 whatever the server's or the desktop's settings, and notices (a
  // table that did not exist to drop) stay off the terminal.
  PQsetClientEncoding(Handle, "UTF8");
  PQsetNoticeProcessor(
      Handle, [](void*, const char*) {}, nullptr);
}

bool Connection::Lost() const {
  return PQstatus(Handle) == CONNECTION_BAD;
}

void Connection::Reconnect() {
  {
    const base::OwnConnection own;
    PQreset(Handle);
  }
  if (PQstatus(Handle) != CONNECTION_OK) Fail(Handle, QString::fromUtf8("з'єднання знову"));
  Prepare();
}

Connection::~Connection() {
  if (Handle) PQfinish(Handle);
}

Result Connection::Exec(const QString& sql, const std::vector<Param>& params) {
  return Execute(sql, params, false);
}

Result Connection::ExecBinary(const QString& sql, const std::vector<Param>& params) {
  return Execute(sql, params, true);
}

Result Connection::Execute(const QString& sql, const std::vector<Param>& params, bool binary) {
  std::vector<const char*> values;
  std::vector<int> lengths;
  for (const Param& p : params) {
    values.push_back(p ? p->constData() : nullptr);
    lengths.push_back(p ? int(p->size()) : 0);
  }
  PGresult* r = PQexecParams(Handle, sql.toUtf8().constData(), int(params.size()), nullptr,
                             values.data(), lengths.data(), nullptr, binary ? 1 : 0);
  const ExecStatusType status = PQresultStatus(r);
  if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) {
    const QString message = QString::fromUtf8(PQresultErrorMessage(r)).trimmed();
    PQclear(r);
    throw Error(QString::fromUtf8("PostgreSQL: %1 (%2)").arg(message, sql.left(200)));
  }
  Result result;
  for (int c = 0; c < PQnfields(r); ++c)
    result.Columns.push_back(QString::fromUtf8(PQfname(r, c)));
  for (int row = 0; row < PQntuples(r); ++row) {
    auto& out = result.Rows.emplace_back();
    for (int c = 0; c < PQnfields(r); ++c)
      out.push_back(PQgetisnull(r, row, c)
                        ? Param()
                        : Param(QByteArray(PQgetvalue(r, row, c), PQgetlength(r, row, c))));
  }
  result.Changed = QByteArray(PQcmdTuples(r)).toInt();
  PQclear(r);
  return result;
}

void Connection::Run(const QString& sql) {
  PGresult* r = PQexec(Handle, sql.toUtf8().constData());
  const ExecStatusType status = PQresultStatus(r);
  PQclear(r);
  if (status != PGRES_COMMAND_OK && status != PGRES_TUPLES_OK) Fail(Handle, sql.left(200));
}

void Connection::Listen(const QString& channel) {
  Run("LISTEN " + Ident(channel));
}

std::vector<QString> Connection::Notifications(int waitMs) {
  std::vector<QString> payloads;
  const auto take = [&] {
    if (!PQconsumeInput(Handle)) Fail(Handle, "LISTEN");
    while (PGnotify* n = PQnotifies(Handle)) {
      payloads.push_back(QString::fromUtf8(n->extra));
      PQfreemem(n);
    }
  };
  take();
  if (payloads.empty() && waitMs > 0) {
    pollfd watch{PQsocket(Handle), POLLIN, 0};
    if (::poll(&watch, 1, waitMs) > 0) take();
  }
  return payloads;
}

int Connection::Socket() const {
  return PQsocket(Handle);
}

QString Connection::Ident(const QString& name) {
  QString quoted = name;
  quoted.replace('"', "\"\"");
  return '"' + quoted + '"';
}

QByteArray Connection::Bytea(const QByteArray& bytes) {
  return "\\x" + bytes.toHex();
}

QByteArray Connection::FromBytea(const QByteArray& text) {
  return text.startsWith("\\x") ? QByteArray::fromHex(text.mid(2)) : text;
}

Transaction::Transaction(Connection& c) : Conn(c) {
  Conn.Run("BEGIN");
}

Transaction::~Transaction() {
  if (!Done) {
    try {
      Conn.Run("ROLLBACK");
    } catch (const Error&) {
      // The connection is gone: the server has rolled the transaction back itself.
    }
  }
}

void Transaction::Commit() {
  Conn.Run("COMMIT");
  Done = true;
}

} // namespace pg
