#pragma once
// The confirmation window: a question with "Так" and "Відмінити", at its stored place.

#include <QDialog>

class QLabel;
class QPushButton;
class TDataModuleVANDREL;

class TFormMsg : public QDialog {
public:
  explicit TFormMsg(TDataModuleVANDREL& data, QWidget* parent = nullptr);
  // Shows the question modally; true when answered "Так".
  bool Ask(const QString& question);

  QLabel* LabelMsg = nullptr;
  QPushButton* BitBtnOK = nullptr;
  QPushButton* BitBtnCancel = nullptr;

protected:
  void done(int result) override; // stores the window's place whenever it closes

private:
  TDataModuleVANDREL& Data;
};
