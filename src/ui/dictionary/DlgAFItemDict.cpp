#include "DlgAFItemDict.h"

#include "base/UserMessages.h"

#include <QLabel>
#include <QLineEdit>
#include <QPalette>
#include <QPushButton>
#include <QSpinBox>
#include <limits>

TDlgAFItemDict::TDlgAFItemDict(QWidget* parent) : QDialog(parent) {
  setObjectName("DlgAFItemDict");
  setWindowTitle(QString::fromUtf8("Словник"));
  setFixedSize(384, 122);
  auto label = [this](const char* text, int y) {
    (new QLabel(QString::fromUtf8(text), this))->setGeometry(8, y, 100, 20);
  };
  label("Код", 8);
  label("Коротке ім'я", 36);
  label("Довге ім'я", 64);
  seID = new QSpinBox(this);
  seID->setObjectName("seID");
  // Any code at all: the spin edit has no bounds of its own.
  seID->setRange(std::numeric_limits<int>::min(), std::numeric_limits<int>::max());
  seID->setGeometry(110, 8, 90, 22);
  eShort = new QLineEdit(this);
  eShort->setObjectName("eShort");
  eShort->setMaxLength(32);
  eShort->setGeometry(110, 36, 266, 22);
  eLong = new QLineEdit(this);
  eLong->setObjectName("eLong");
  eLong->setMaxLength(64);
  eLong->setGeometry(110, 64, 266, 22);
  OKBtn = new QPushButton(QString::fromUtf8("Зберегти"), this);
  OKBtn->setObjectName("OKBtn");
  OKBtn->setDefault(true);
  OKBtn->setGeometry(196, 92, 88, 25);
  CancelBtn = new QPushButton(QString::fromUtf8("Відмінити"), this);
  CancelBtn->setObjectName("CancelBtn");
  CancelBtn->setGeometry(288, 92, 88, 25);
  // The proposed code is usually kept: typing starts at the short name.
  eShort->setFocus();
  connect(OKBtn, &QPushButton::clicked, this, &QDialog::accept);
  connect(CancelBtn, &QPushButton::clicked, this, &QDialog::reject);
}

void TDlgAFItemDict::accept() {
  if (eShort->text().trimmed().isEmpty()) {
    base::UserMessages::Current().ShowMessage(
        QString::fromUtf8("Введіть коротке ім'я: запис без імені не зберігається."));
    eShort->setFocus();
    return;
  }
  QDialog::accept();
}

void TDlgAFItemDict::SetCodeReadOnly() {
  seID->setReadOnly(true);
  seID->setButtonSymbols(QAbstractSpinBox::NoButtons);
  QPalette face = seID->palette();
  face.setColor(QPalette::Base, face.color(QPalette::Button));
  seID->setPalette(face);
}
