#pragma once
// The application object of the windowed program: every event it delivers runs inside one guard,
// so that a failure no handler caught (a table changed by another program, a damaged file) is
// shown to the user as "Помилка: " with the file and the reason, and the program goes on with
// its data as it was. It is the default error box the windows' own handlers fall back on.

#include <QApplication>

class TGuardedApplication : public QApplication {
public:
  TGuardedApplication(int& argc, char** argv);

  bool notify(QObject* receiver, QEvent* event) override;

  // The text shown for an exception that reached the guard.
  static QString ErrorText(const std::exception_ptr& error);
  // The failures shown so far (for the tests and for a look in a debugger).
  int FailuresShown() const { return Failures; }

private:
  void Report(const QString& text);

  int Failures = 0;
  bool Reporting = false; // a failure while its box is shown goes to standard error
};
