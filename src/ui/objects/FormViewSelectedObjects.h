#pragma once
// "Знайдені об'єкти": the choice among several objects found under the pointer, one line per
// object in the order found; the window keeps its place between uses.

#include <QDialog>

class QListWidget;
class QPushButton;
class TDataModuleVANDREL;

class TFormViewSelectedObjects : public QDialog {
public:
  explicit TFormViewSelectedObjects(TDataModuleVANDREL& data, QWidget* parent = nullptr);

  // Shows the lines modally: the chosen line, or -1 when the window was left without one.
  int Choose(const QStringList& lines);

  QListWidget* ListBoxSelObjects = nullptr;
  QPushButton* BitBtnOK = nullptr;
  QPushButton* BitBtnCancel = nullptr;

protected:
  void done(int result) override; // stores the window's place whenever it closes

private:
  TDataModuleVANDREL& Data;
};
