#include "SecretText.h"

#include <QRegularExpression>

namespace base {

QString HidePasswords(const QString& text) {
  if (!text.contains("postgres", Qt::CaseInsensitive) &&
      !text.contains("password", Qt::CaseInsensitive))
    return text;
  // The user info of a URI ("//user:secret@"), and "password=secret" in a URI's query or a
  // keyword connection string ("password='se cret'" quoted).
  static const QRegularExpression userInfo("(postgres(?:ql)?://[^/:@\\s]*:)[^@/\\s]*@",
                                           QRegularExpression::CaseInsensitiveOption);
  static const QRegularExpression keyword("(password\\s*=\\s*)('(?:[^'\\\\]|\\\\.)*'|[^&\\s#]*)",
                                          QRegularExpression::CaseInsensitiveOption);
  QString hidden = text;
  hidden.replace(userInfo, "\\1***@");
  hidden.replace(keyword, "\\1***");
  return hidden;
}

} // namespace base
