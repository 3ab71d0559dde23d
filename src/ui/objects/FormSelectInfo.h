#pragma once
// The small always-on-top window that shows the class, name and address of the object the user
// has just pointed at.

#include <QDialog>

class QLabel;
class TDataModuleVANDREL;

class TFormSelectInfo : public QDialog {
public:
  explicit TFormSelectInfo(TDataModuleVANDREL& data, QWidget* parent = nullptr);
  ~TFormSelectInfo() override; // stores the window's position for FORMS.INI

  void ShowInfo(int category, int cls, int record);
  QString Text() const;

  int InfoCategory = 0, InfoClass = 0, InfoRecord = 0;
  QString InfoTableName;
  QLabel* lblText = nullptr;

private:
  TDataModuleVANDREL& Data;
};
