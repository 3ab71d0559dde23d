#include "FormClassifier.h"

#include "AFTreeDict.h"

#include "base/UserMessages.h"
#include "db/Error.h"

#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

TFormClassifier::TFormClassifier(QWidget* parent) : QDialog(parent) {
  setObjectName("FormClassifier");
  setWindowTitle(QString::fromUtf8("Класифікатор"));
  resize(517, 347);
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(4, 4, 4, 4);
  edtFilter = new QLineEdit(this);
  edtFilter->setObjectName("edtFilter");
  edtFilter->setPlaceholderText(QString::fromUtf8("Фільтр: частина короткого або довгого імені"));
  edtFilter->setClearButtonEnabled(true);
  layout->addWidget(edtFilter);
  AFTreeDict = new TAFTreeDict(this);
  layout->addWidget(AFTreeDict, 1);
  auto* buttons = new QHBoxLayout;
  layout->addLayout(buttons);
  auto button = [this, buttons](const char* name, const char* caption,
                                void (TFormClassifier::*click)()) {
    auto* b = new QPushButton(QString::fromUtf8(caption), this);
    b->setObjectName(name);
    b->setAutoDefault(false);
    connect(b, &QPushButton::clicked, this, click);
    buttons->addWidget(b);
    return b;
  };
  btnAddPart = button("btnAddPart", "Додати розділ", &TFormClassifier::btnAddPartClick);
  btnAddItem = button("btnAddItem", "Додати елемент", &TFormClassifier::btnAddItemClick);
  btnEditItem = button("btnEditItem", "Редагувати елемент", &TFormClassifier::btnEditItemClick);
  btnDelItem = button("btnDelItem", "Видалити елемент", &TFormClassifier::btnDelItemClick);
  connect(edtFilter, &QLineEdit::textChanged, AFTreeDict, &TAFTreeDict::SetFilterText);
}

void TFormClassifier::showEvent(QShowEvent* event) {
  QDialog::showEvent(event);
  if (!Shown) FormShow();
  Shown = true;
}

void TFormClassifier::done(int result) {
  FormClose();
  QDialog::done(result);
}

template <typename Command> void TFormClassifier::Run(Command command) {
  try {
    command();
  } catch (const db::Error& e) {
    base::UserMessages::Current().ShowMessage(e.Message);
  }
  AFTreeDict->viewport()->update();
}

void TFormClassifier::FormShow() {
  AFTreeDict->DatabaseName = DatabaseName;
  AFTreeDict->Table = TableName;
  AFTreeDict->ReadOnly = ReadOnly;
  for (QPushButton* b : {btnAddPart, btnAddItem, btnEditItem, btnDelItem})
    b->setEnabled(!ReadOnly);
  AFTreeDict->OpenDictionary();
  Run([this] { AFTreeDict->LoadTree(); });
}

void TFormClassifier::btnAddPartClick() {
  Run([this] { AFTreeDict->AddPart(); });
}

void TFormClassifier::btnAddItemClick() {
  Run([this] { AFTreeDict->AddItem(); });
}

void TFormClassifier::btnEditItemClick() {
  Run([this] { AFTreeDict->EditItem(); });
}

void TFormClassifier::btnDelItemClick() {
  Run([this] { AFTreeDict->DeleteItem(); });
}

void TFormClassifier::FormClose() {
  AFTreeDict->CloseDictionary();
}
