#pragma once
// The window of the reference dictionary: the dictionary's tree under a filter box, and the
// buttons that add parts and elements, edit entries and delete leaves.

#include <QDialog>

class QLineEdit;
class QPushButton;
class TAFTreeDict;

class TFormClassifier : public QDialog {
public:
  explicit TFormClassifier(QWidget* parent = nullptr);

  // Given by the opener before the window is shown.
  QString DatabaseName;
  QString TableName;
  // The read-only work modes: the dictionary is shown, and nothing of it is written.
  bool ReadOnly = false;

  void FormShow();
  void btnAddPartClick();
  void btnAddItemClick();
  void btnEditItemClick();
  void btnDelItemClick();
  void FormClose();

  TAFTreeDict* AFTreeDict = nullptr;
  QLineEdit* edtFilter = nullptr;
  QPushButton* btnAddPart = nullptr;
  QPushButton* btnAddItem = nullptr;
  QPushButton* btnEditItem = nullptr;
  QPushButton* btnDelItem = nullptr;

protected:
  void showEvent(QShowEvent* event) override;
  void done(int result) override;

private:
  // Runs one of the tree's commands; a database error is shown and the tree stays as it was.
  template <typename Command> void Run(Command command);
  bool Shown = false;
};
