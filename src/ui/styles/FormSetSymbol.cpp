#include "FormSetSymbol.h"

#include <algorithm>

#include "base/TextCodec.h"
#include "data/DataModule.h"
#include "db/Error.h"
#include "gfx/SymbolFonts.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFontDatabase>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>
#include <QTableWidget>

namespace {

constexpr int kCell = 17;
const QString kGridFont = "Wingdings";

} // namespace

TFormSetSymbol::TFormSetSymbol(TDataModuleVANDREL& data, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint), Data(data) {
  setWindowTitle(QString::fromUtf8("Выбір символу"));
  setFixedSize(351, 307);
  QFont small = font();
  small.setPixelSize(11);
  setFont(small);
  auto* fontLabel = new QLabel(QString::fromUtf8("Вибір шрифта:"), this);
  fontLabel->move(4, 4);
  FontComboBox = new QComboBox(this);
  FontComboBox->setObjectName("FontComboBox");
  FontComboBox->setGeometry(4, 18, 344, 22);
  // The scalable fonts of the machine, and the symbol fonts the map draws by their signs where
  // they are missing, so that a row's font can always be shown.
  QStringList fonts;
  for (const QString& family : QFontDatabase::families())
    if (QFontDatabase::isScalable(family)) fonts << family;
  for (const QString& symbolFont : gfx::KnownSymbolFonts())
    if (!gfx::FontInstalled(symbolFont)) fonts << symbolFont;
  fonts.sort(Qt::CaseInsensitive);
  FontComboBox->addItems(fonts);
  FontComboBox->setCurrentIndex(-1); // until ChooseSymbol shows the row's own font
  connect(FontComboBox, &QComboBox::currentTextChanged, this, [this] { FontComboBoxChange(); });
  auto* symbolLabel = new QLabel(QString::fromUtf8("Вибір знаку:"), this);
  symbolLabel->move(4, 44);
  sgrdSymbols = new QTableWidget(kRows, kColumns, this);
  sgrdSymbols->setObjectName("sgrdSymbols");
  sgrdSymbols->setGeometry(4, 59, 343, 217);
  sgrdSymbols->horizontalHeader()->hide();
  sgrdSymbols->verticalHeader()->hide();
  sgrdSymbols->horizontalHeader()->setMinimumSectionSize(kCell);
  sgrdSymbols->verticalHeader()->setMinimumSectionSize(kCell);
  sgrdSymbols->horizontalHeader()->setDefaultSectionSize(kCell + 1);
  sgrdSymbols->verticalHeader()->setDefaultSectionSize(kCell + 1);
  sgrdSymbols->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  sgrdSymbols->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  sgrdSymbols->setEditTriggers(QAbstractItemView::NoEditTriggers);
  sgrdSymbols->setSelectionMode(QAbstractItemView::SingleSelection);
  // FormCreate: the cell in column x and row y holds the character of code 32 + 19 y + x.
  for (int y = 0; y < kRows; ++y)
    for (int x = 0; x < kColumns; ++x) {
      auto* cell = new QTableWidgetItem();
      cell->setData(Qt::UserRole, CellCharacter(x, y));
      cell->setTextAlignment(Qt::AlignCenter);
      sgrdSymbols->setItem(y, x, cell);
    }
  connect(sgrdSymbols, &QTableWidget::currentCellChanged, this,
          [this](int row, int column) { sgrdSymbolsSelectCell(column, row); });
  sgrdSymbols->viewport()->installEventFilter(this);
  edtHighLight = new QLineEdit(this);
  edtHighLight->setObjectName("edtHighLight");
  edtHighLight->setReadOnly(true);
  edtHighLight->resize(50, 42);
  edtHighLight->setAlignment(Qt::AlignCenter);
  edtHighLight->hide();
  chboxForALL = new QCheckBox(QString::fromUtf8("Змінити для всіх об'єктів"), this);
  chboxForALL->setGeometry(4, 284, 160, 18);
  bbtnOK = new QPushButton(QString::fromUtf8("Вибрати"), this);
  bbtnOK->setObjectName("bbtnOK");
  bbtnOK->setGeometry(170, 282, 85, 22);
  bbtnOK->setAutoDefault(false);
  connect(bbtnOK, &QPushButton::clicked, this, [this] {
    if (!bbtnOKClick()) return; // nothing chosen: the window stays
    accept();
  });
  bbtnCancel = new QPushButton(QString::fromUtf8("Відмінити"), this);
  bbtnCancel->setObjectName("bbtnCancel");
  bbtnCancel->setGeometry(262, 282, 85, 22);
  connect(bbtnCancel, &QPushButton::clicked, this, &QDialog::reject);
  bbtnCancel->setFocus();
  // The check box as wide as its caption, the buttons after it: nothing cut off.
  chboxForALL->resize(chboxForALL->sizeHint().width(), 18);
  const int buttonsLeft = std::max(170, chboxForALL->geometry().right() + 8);
  bbtnOK->move(buttonsLeft, 282);
  bbtnCancel->move(buttonsLeft + 92, 282);
  setFixedSize(std::max(351, buttonsLeft + 92 + 85 + 4), 307);
  ShowCharacters(kGridFont);
  edtHighLight->setText(sgrdSymbols->item(0, 0)->text());
  sgrdSymbols->setCurrentItem(nullptr);
  UpdateOkButton();
}

void TFormSetSymbol::UpdateOkButton() {
  const QTableWidgetItem* cell = sgrdSymbols->currentItem();
  bbtnOK->setEnabled(Data.WorkMode == 0 && cell && !cell->data(Qt::UserRole).toString().isEmpty());
}

void TFormSetSymbol::SetFontName(const QString& font) {
  if (font.isEmpty()) return;
  int at = FontComboBox->findText(font, Qt::MatchFixedString); // letter case ignored
  if (at < 0) {
    FontComboBox->addItem(font);
    at = FontComboBox->count() - 1;
  }
  FontComboBox->setCurrentIndex(at);
  FontComboBoxChange();
}

void TFormSetSymbol::SelectCharacter(const QString& character) {
  sgrdSymbols->setCurrentItem(nullptr);
  if (!character.isEmpty())
    for (int y = 0; y < kRows; ++y)
      for (int x = 0; x < kColumns; ++x)
        if (sgrdSymbols->item(y, x)->data(Qt::UserRole).toString() == character.left(1))
          sgrdSymbols->setCurrentCell(y, x);
  UpdateOkButton();
}

TFormSetSymbol::SymbolRow TFormSetSymbol::RowOfChoice() {
  // A group's own symbol (group numbers 1 to 127), else the class's.
  if (SymbolGroup > 0)
    return {Data.TableGroup,
            "GROUP_ID",
            {int64_t(SymbolCategory), int64_t(SymbolClass), int64_t(SymbolGroup)},
            "SymbolFont",
            "Symbol_Code"};
  return {Data.TableClasses,
          "CLASS_ID",
          {int64_t(SymbolCategory), int64_t(SymbolClass)},
          "CharFont",
          "CharLabel"};
}

void TFormSetSymbol::ShowStoredSymbol() {
  SymbolRow row = RowOfChoice();
  row.Table.SetIndexName(row.Index);
  QString font, character;
  if (row.Table.FindKey(row.Key)) {
    font = row.Table.FieldByName(row.FontField).AsString();
    character = row.Table.FieldByName(row.CharacterField).AsString();
  }
  row.Table.SetIndexName("");
  SetFontName(font);
  SelectCharacter(character);
}

QString TFormSetSymbol::CellCharacter(int column, int row) {
  const int code = kFirstCode + kColumns * row + column;
  if (code > 0xFF) return QString(); // the last four cells stay empty
  return base::Decode(QByteArray(1, char(code)), base::CodePage::Cp1251);
}

void TFormSetSymbol::ShowCharacters(const QString& family) {
  sgrdSymbols->setFont(gfx::SymbolDisplayFont(family, 13));
  for (int y = 0; y < kRows; ++y)
    for (int x = 0; x < kColumns; ++x) {
      QTableWidgetItem* cell = sgrdSymbols->item(y, x);
      cell->setText(gfx::SymbolFontText(family, cell->data(Qt::UserRole).toString()));
    }
  edtHighLight->setFont(gfx::SymbolDisplayFont(family, 32));
  if (QTableWidgetItem* current = sgrdSymbols->currentItem())
    edtHighLight->setText(current->text());
}

QString TFormSetSymbol::ChosenFont() const {
  return FontComboBox->currentIndex() < 0 ? QString() : FontComboBox->currentText();
}

void TFormSetSymbol::FontComboBoxChange() {
  ShowCharacters(ChosenFont().isEmpty() ? kGridFont : ChosenFont());
}

void TFormSetSymbol::sgrdSymbolsSelectCell(int column, int row) {
  if (QTableWidgetItem* cell = sgrdSymbols->item(row, column)) edtHighLight->setText(cell->text());
  PlaceHighLight();
  UpdateOkButton();
}

void TFormSetSymbol::PlaceHighLight() {
  const QRect cell = sgrdSymbols->visualItemRect(sgrdSymbols->currentItem());
  const QPoint at = sgrdSymbols->viewport()->mapTo(this, cell.topLeft());
  edtHighLight->move(at.x() - 16, at.y() - 11);
}

bool TFormSetSymbol::eventFilter(QObject* watched, QEvent* e) {
  if (watched == sgrdSymbols->viewport()) {
    // The chosen character is shown magnified over its cell while the button is held.
    if (e->type() == QEvent::MouseButtonPress) {
      const QModelIndex at =
          sgrdSymbols->indexAt(static_cast<QMouseEvent*>(e)->position().toPoint());
      if (at.isValid()) sgrdSymbols->setCurrentCell(at.row(), at.column());
      PlaceHighLight();
      edtHighLight->show();
      edtHighLight->raise();
      return true;
    }
    if (e->type() == QEvent::MouseButtonRelease) {
      edtHighLight->hide();
      return true;
    }
  }
  return QDialog::eventFilter(watched, e);
}

bool TFormSetSymbol::ChooseSymbol(int category, int cls, int group) {
  SymbolError = false;
  SymbolCategory = int8_t(category);
  SymbolClass = cls;
  SymbolGroup = int8_t(group); // 255 from the panels, and every number from 128, are negative
  try {
    ShowStoredSymbol();
  } catch (const db::Error&) {
    // No row to show: the grid opens without a choice, and a choice fails as it is stored.
  }
  exec();
  return !SymbolError;
}

bool TFormSetSymbol::bbtnOKClick() {
  QTableWidgetItem* cell = sgrdSymbols->currentItem();
  const QString character = cell ? cell->data(Qt::UserRole).toString() : QString();
  // Nothing is stored until a character is chosen, and nothing at all in the read-only modes.
  if (character.isEmpty() || Data.WorkMode != 0) return false;
  try {
    StoreSymbol(ChosenFont(), character);
  } catch (const db::Error&) {
    SymbolError = true;
  }
  return true;
}

void TFormSetSymbol::StoreSymbol(const QString& font, const QString& character) {
  SymbolRow row = RowOfChoice();
  db::Table& t = row.Table;
  t.SetIndexName(row.Index);
  const bool found = t.FindKey(row.Key);
  if (found) {
    t.Edit();
    try {
      // Without a chosen font the row keeps the font it has.
      if (!font.isEmpty()) t.FieldByName(row.FontField).SetAsString(font);
      t.FieldByName(row.CharacterField).SetAsString(character);
      t.Post();
    } catch (...) {
      t.Cancel();
      t.SetIndexName("");
      throw;
    }
  }
  t.SetIndexName("");
  SymbolError = SymbolError || !found;
}
