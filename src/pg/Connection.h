#pragma once
// One connection to a PostgreSQL server through libpq: statements with their parameters passed
// apart from the text (never spliced into it), results as text, transactions, and a failure as
// pg::Error with the server's own message and the statement it refused.

#include "db/Error.h"

#include <QByteArray>
#include <QString>
#include <optional>
#include <stdexcept>
#include <vector>

struct pg_conn;

namespace pg {

// A db::Error too: every caller of the table store that says a table's failure in a message
// says the server's refusal, a lost connection or a missing database the same way.
class Error : public db::Error {
public:
  explicit Error(const QString& message) : db::Error(message) {}
  explicit Error(const char* message) : db::Error(QString::fromUtf8(message)) {}
};

using Param = std::optional<QByteArray>; // nullopt is NULL

struct Result {
  std::vector<QString> Columns;
  std::vector<std::vector<Param>> Rows;
  int Changed = 0; // rows an INSERT, UPDATE or DELETE changed
};

class Connection {
public:
  // `uri` is a libpq connection string or URI ("postgresql:///city?host=/run/postgresql").
  explicit Connection(const QString& uri);
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  Result Exec(const QString& sql, const std::vector<Param>& params = {});
  // The same with the results in the server's binary forms (a bytea's own bytes, integers in
  // network order): for large bytea columns, which need no decoding then.
  Result ExecBinary(const QString& sql, const std::vector<Param>& params = {});
  // Runs several statements without parameters (a script).
  void Run(const QString& sql);

  // Listens on a channel; Notifications gives the payloads that arrived on it since, waiting
  // up to `waitMs` for the first one.
  void Listen(const QString& channel);
  std::vector<QString> Notifications(int waitMs);
  // The connection's socket: readable when the server has sent something (a notification).
  int Socket() const;
  // Whether the server went away (restarted, or the network broke); a statement on the way
  // failed then with the server's message.
  bool Lost() const;
  // Connects again with the same settings; raises pg::Error when the server does not answer.
  void Reconnect();

  // A double-quoted identifier ("MAPS/Water.dbf" as it stands).
  static QString Ident(const QString& name);
  // A bytea value in the server's hex input form.
  static QByteArray Bytea(const QByteArray& bytes);
  // The bytes of a bytea result in hex output form.
  static QByteArray FromBytea(const QByteArray& text);

private:
  void Prepare(); // settings of a new session
  Result Execute(const QString& sql, const std::vector<Param>& params, bool binary);
  pg_conn* Handle = nullptr;
};

// Begins a transaction that is rolled back unless Commit is called.
class Transaction {
public:
  explicit Transaction(Connection& c);
  ~Transaction();
  void Commit();

private:
  Connection& Conn;
  bool Done = false;
};

} // namespace pg
