#pragma once
// Every message box of the program goes through this interface: the application installs one
// that shows dialogs, the tests one that records the texts, and without either the texts go to
// standard error.

#include <QString>
#include <QStringList>

namespace base {

class UserMessages {
public:
  virtual ~UserMessages() = default;
  virtual void ShowMessage(const QString& text) = 0;
  // A question answered OK (true) or Cancel.
  virtual bool Confirm(const QString& text) = 0;
  // A question answered Yes (true) or No; where no Yes/No box is offered, Confirm's answer.
  virtual bool Ask(const QString& text) { return Confirm(text); }

  static UserMessages& Current();
  // Installs `messages` (not owned); null restores the standard-error default.
  static void Install(UserMessages* messages);
};

// Records the texts; Confirm answers with `Answer`.
class RecordedMessages : public UserMessages {
public:
  void ShowMessage(const QString& text) override { Shown << text; }
  bool Confirm(const QString& text) override {
    Shown << text;
    return Answer;
  }
  QStringList Shown;
  bool Answer = true;
};

} // namespace base
