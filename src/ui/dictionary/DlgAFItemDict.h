#pragma once
// The small dialog in which one entry of the reference dictionary is typed: its code, short name
// and long name.

#include <QDialog>

class QLineEdit;
class QPushButton;
class QSpinBox;

class TDlgAFItemDict : public QDialog {
public:
  explicit TDlgAFItemDict(QWidget* parent = nullptr);
  // The code of an existing entry is shown but cannot be changed.
  void SetCodeReadOnly();
  // "Зберегти" closes the dialog only with a short name: an entry without one is refused.
  void accept() override;

  QSpinBox* seID = nullptr;
  QLineEdit* eShort = nullptr;
  QLineEdit* eLong = nullptr;
  QPushButton* OKBtn = nullptr;
  QPushButton* CancelBtn = nullptr;
};
