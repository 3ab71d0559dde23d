#pragma once
// "Выбір символу": a font and one character of it as the map symbol of a class (CharFont and
// CharLabel of the layers table) or of a symbol group (SymbolFont and Symbol_Code of the groups
// table). The character is held magnified over its cell while the mouse button is down.

#include "db/Table.h"

#include <QDialog>
#include <vector>

class QCheckBox;
class QComboBox;
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
  // Chooses a font by name (added to the list when it is not installed) and shows its signs.
  void SetFontName(const QString& font);
  // Makes the cell of a character current; an empty or unknown character leaves no cell chosen.
  void SelectCharacter(const QString& character);
  void sgrdSymbolsSelectCell(int column, int row);
  // Stores the chosen character; false (nothing stored, the window stays) without one.
  bool bbtnOKClick();
  // The character of a grid cell, as the tables hold it (a Windows-1251 character); empty for
  // the four cells past code 255.
  static QString CellCharacter(int column, int row);

  QComboBox* FontComboBox = nullptr; // the installed fonts and the symbol fonts drawn by signs
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
  // Opens on the font and the character the class or group row has now.
  void ShowStoredSymbol();
  // "Вибрати" is offered only while a character is chosen.
  void UpdateOkButton();
  // The row the choice is for: the layers table's class row or the groups table's group row.
  struct SymbolRow {
    db::Table& Table;
    const char* Index;
    std::vector<db::Value> Key;
    const char* FontField;
    const char* CharacterField;
  };
  SymbolRow RowOfChoice();
  void StoreSymbol(const QString& font, const QString& character);

  TDataModuleVANDREL& Data;
};
