#pragma once
// The small dialogs of the main window: creating a label file, the about box and the authors.

#include <QDialog>

class QComboBox;
class QLineEdit;

class TFormLabelFileCreate : public QDialog {
public:
  explicit TFormLabelFileCreate(QWidget* parent = nullptr);
  void SpeedButton1Click();
  // Writes the label file when a field is named; the window closes with OK in any case.
  void BitBtnOKClick();
  // The browse result, as SpeedButton1Click sets it.
  void ChooseFile(const QString& path);

  QLineEdit* EditFileName = nullptr;
  QComboBox* ComboBoxField = nullptr;
  QLineEdit* EditLabelFile = nullptr;
};

class TFormAboutBox : public QDialog {
public:
  explicit TFormAboutBox(QWidget* parent = nullptr);
};

class TFormAuthors : public QDialog {
public:
  explicit TFormAuthors(QWidget* parent = nullptr);
};
