#include "SqlDialect.h"

namespace db {
namespace {

bool IsWordChar(QChar c) {
  return c.isLetterOrNumber() || c == '_' || c == '$';
}

// Walks a statement: string literals, table names and the rest, in the engine's dialect.
struct Scanner {
  explicit Scanner(QString sql) : Sql(std::move(sql)) {}
  QString Sql;
  QString Out;        // the statement in SQLite's dialect
  QStringList Tables; // names read after FROM, JOIN, INTO, UPDATE and FROM-list commas
  bool ExpectTable = false, InFromList = false;
  int Depth = 0, FromDepth = -1;

  void Run() {
    for (qsizetype i = 0; i < Sql.size();) {
      const QChar c = Sql[i];
      if (c == '\'' || c == '"') {
        i = Quoted(i, c);
      } else if (IsWordChar(c)) {
        i = Word(i);
      } else {
        Punctuation(c);
        Out += c;
        ++i;
      }
    }
  }

  qsizetype Quoted(qsizetype i, QChar quote) {
    QString text;
    qsizetype j = i + 1;
    for (; j < Sql.size(); ++j) {
      if (Sql[j] == quote) {
        if (j + 1 < Sql.size() && Sql[j + 1] == quote) {
          text += quote;
          ++j;
          continue;
        }
        break;
      }
      text += Sql[j];
    }
    if (quote == '"' && ExpectTable) {
      TableName(text);
    } else if (quote == '"') {
      Out += "'" + QString(text).replace('\'', "''") + "'"; // a string literal of the dialect
    } else {
      Out += Sql.mid(i, std::min(j + 1, Sql.size()) - i);
    }
    return j + 1;
  }

  qsizetype Word(qsizetype i) {
    qsizetype j = i;
    // A table name may carry its extension and a path-free dot.
    while (j < Sql.size() && (IsWordChar(Sql[j]) || (ExpectTable && Sql[j] == '.')))
      ++j;
    const QString word = Sql.mid(i, j - i);
    if (ExpectTable) {
      TableName(word);
      return j;
    }
    const QString upper = word.toUpper();
    if (upper == "FROM" || upper == "JOIN" || upper == "INTO" || upper == "UPDATE") {
      ExpectTable = true;
      if (upper == "FROM" || upper == "JOIN") {
        InFromList = true;
        FromDepth = Depth;
      }
    } else if (upper == "WHERE" || upper == "GROUP" || upper == "ORDER" || upper == "SET" ||
               upper == "VALUES" || upper == "ON" || upper == "LIMIT" || upper == "UNION" ||
               upper == "HAVING") {
      InFromList = false;
    }
    Out += word;
    return j;
  }

  void TableName(const QString& name) {
    Tables << name;
    Out += QuoteSqlIdentifier(name);
    ExpectTable = false;
  }

  void Punctuation(QChar c) {
    if (c == '(') {
      ++Depth;
      ExpectTable = false; // a sub-query or a column list
    } else if (c == ')') {
      --Depth;
      if (Depth < FromDepth) InFromList = false;
    } else if (c == ',' && InFromList && Depth == FromDepth) {
      ExpectTable = true;
    }
  }
};

} // namespace

QString QuoteSqlIdentifier(const QString& name) {
  return "\"" + QString(name).replace('"', "\"\"") + "\"";
}

SqlStatement TranslateSql(const QString& sql) {
  Scanner s(sql);
  s.Run();
  return {s.Out, s.Tables};
}

} // namespace db
