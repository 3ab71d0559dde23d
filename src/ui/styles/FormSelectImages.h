#pragma once
// "Вибір логотипу": the images table of the atlas (name, number, picture), four rows in view;
// new rows take the next number, a picture is loaded from a BMP file by a double click on it,
// and "Вибрати" gives the number of the current row.

#include <QDialog>

class QPushButton;
class QTableWidget;
class TDataModuleVANDREL;

class TFormSelectImages : public QDialog {
public:
  explicit TFormSelectImages(TDataModuleVANDREL& data, QWidget* parent = nullptr);
  // The grid stops reporting edits first: an editor still open is closed as the window goes.
  ~TFormSelectImages() override;

  void BitBtnOKClick();
  void BitBtnAddClick();
  void BitBtnDelClick();
  // Loads a BMP file into the current row's picture; its file name becomes the row's name.
  // Raises db::Error naming the file when it is no BMP or cannot be read.
  void LoadPicture(const QString& fileName);
  void DBImageDblClick();

  int SelectedImageIndex = -1;
  QTableWidget* DBCtrlGrid1 = nullptr;
  QPushButton *BitBtnOK = nullptr, *BitBtnCancel = nullptr, *BitBtnAdd = nullptr,
              *BitBtnDel = nullptr;

protected:
  // Enter runs "Новий" and Escape "Видалити", as the window's default and cancel buttons; neither
  // closes the window.
  void keyPressEvent(QKeyEvent* e) override;

private:
  // Shows the table's rows; `current` is the row to stand on.
  bool Editable() const; // work mode 0: the image table may be written
  void Fill(int current);
  void CellEdited(int row, int column);
  int CurrentRow() const;

  TDataModuleVANDREL& Data;
  bool Filling = false;
  bool MissingReported = false;
  // The first of the fields the window needs that the images table lacks; empty when none.
  QString MissingField() const;
};
