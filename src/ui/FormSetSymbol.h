#pragma once
// "Выбір символу": a font and one character of it as the map symbol of a class (CharFont and
// CharLabel of the layers table) or of a symbol group (SymbolFont and Symbol_Code of the groups
// table). The character is held magnified over its cell while the mouse button is down.

#include <QDialog>

class QCheckBox;
class QFontComboBox;
class QLineEdit;
class QPushButton;
class QTableWidget;
class TDataModuleVANDREL;

class TFormSetSymbol : public QDialog {
public:
  static constexpr int kColumns = 19, kRows = 12, kFirstCode = 32;

  explicit TFormSetSymbol(TDataModuleVANDREL& data, QWidget* parent = nullptr);

  // Shows the window; false when the choice could not be stored (no such class or group row,
  // or a failed write). Closing with "Відмінити" stores nothing and gives true.
  bool ChooseSymbol(int category, int cls, int group);

  void FontComboBoxChange();
  void sgrdSymbolsSelectCell(int column, int row);
  void bbtnOKClick();
  // The character of a grid cell, as the tables hold it (a Windows-1251 character); empty for
  // the four cells past code 255.
  static QString CellCharacter(int column, int row);

  QFontComboBox* FontComboBox = nullptr;
  QTableWidget* sgrdSymbols = nullptr;
  QLineEdit* edtHighLight = nullptr;
  QCheckBox* chboxForALL = nullptr;
  QPushButton *bbtnOK = nullptr, *bbtnCancel = nullptr;

  int8_t SymbolCategory = 0;
  int32_t SymbolClass = 0;
  int8_t SymbolGroup = 0; // 0 or less (128 and more as given): the class's own symbol
  bool SymbolError = false;

protected:
  bool eventFilter(QObject* watched, QEvent* e) override;

private:
  // Shows the grid's characters in the chosen font (through the symbol table when it is
  // missing).
  void ShowCharacters(const QString& font);
  void PlaceHighLight();
  QString ChosenFont() const;
  void StoreClassSymbol(const QString& font, const QString& character);
  void StoreGroupSymbol(const QString& font, const QString& character);

  TDataModuleVANDREL& Data;
};
