#include "GuardedApplication.h"

#include "base/FileError.h"
#include "base/UserMessages.h"
#include "db/Error.h"

#include <QTextStream>

TGuardedApplication::TGuardedApplication(int& argc, char** argv) : QApplication(argc, argv) {}

QString TGuardedApplication::ErrorText(const std::exception_ptr& error) {
  const QString prefix = QString::fromUtf8("Помилка: ");
  try {
    std::rethrow_exception(error);
  } catch (const db::Error& e) {
    return prefix + e.Message;
  } catch (const base::FileError& e) {
    return prefix + base::HidePasswords(e.Path + ": " + e.Reason);
  } catch (const std::exception& e) {
    return prefix + QString::fromUtf8(e.what());
  } catch (...) {
    return prefix + QString::fromUtf8("невідома помилка");
  }
}

bool TGuardedApplication::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (...) {
    Report(ErrorText(std::current_exception()));
  }
  return false;
}

void TGuardedApplication::Report(const QString& text) {
  ++Failures;
  // A box is shown once at a time: a failure while it is up (a repaint behind it failing again)
  // is written to standard error instead of opening box after box.
  if (Reporting) {
    QTextStream(stderr) << "vandrel: " << text << "\n";
    return;
  }
  Reporting = true;
  try {
    base::UserMessages::Current().ShowMessage(text);
  } catch (...) {
    QTextStream(stderr) << "vandrel: " << text << "\n";
  }
  Reporting = false;
}
