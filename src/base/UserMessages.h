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
  // A question before unsaved work would go: save it, let it go, or stay where one is. Where no
  // such box is offered: OK lets it go, Cancel stays.
  enum class SaveAnswer { Save, Discard, Cancel };
  virtual SaveAnswer AskToSave(const QString& text) {
    return Confirm(text) ? SaveAnswer::Discard : SaveAnswer::Cancel;
  }

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
  SaveAnswer AskToSave(const QString& text) override {
    Shown << text;
    return SaveChoice;
  }
  QStringList Shown;
  bool Answer = true;
  SaveAnswer SaveChoice = SaveAnswer::Discard;
};

} // namespace base
