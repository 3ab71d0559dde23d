#include "SmallDialogs.h"

#include "LabelFile.h"

#include "base/FileError.h"
#include "base/UserMessages.h"
#include "db/Error.h"

#include <QApplication>
#include <QComboBox>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

TFormLabelFileCreate::TFormLabelFileCreate(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QString::fromUtf8("Создание файла меток"));
  setFixedSize(457, 96);
  (new QLabel(QString::fromUtf8("SHP - Файл"), this))->move(32, 12);
  EditFileName = new QLineEdit(this);
  EditFileName->setObjectName("EditFileName");
  EditFileName->setGeometry(98, 8, 238, 21);
  auto* browse = new QToolButton(this);
  browse->setObjectName("SpeedButton1");
  browse->setText("...");
  browse->setGeometry(336, 8, 23, 23);
  connect(browse, &QToolButton::clicked, this, [this] { SpeedButton1Click(); });
  (new QLabel(QString::fromUtf8("Поле БД"), this))->move(48, 43);
  ComboBoxField = new QComboBox(this);
  ComboBoxField->setObjectName("ComboBoxField");
  ComboBoxField->setEditable(true);
  ComboBoxField->setGeometry(96, 39, 260, 21);
  (new QLabel(QString::fromUtf8("Файл метки"), this))->move(28, 72);
  EditLabelFile = new QLineEdit(this);
  EditLabelFile->setObjectName("EditLabelFile");
  EditLabelFile->setGeometry(96, 68, 259, 21);
  auto* ok = new QPushButton("OK", this);
  ok->setObjectName("BitBtnOK");
  ok->setGeometry(374, 12, 75, 25);
  ok->setDefault(true);
  connect(ok, &QPushButton::clicked, this, [this] { BitBtnOKClick(); });
  auto* cancel = new QPushButton(QString::fromUtf8("Відмінити"), this);
  cancel->setObjectName("BitBtnCancel");
  cancel->setGeometry(374, 48, 75, 25);
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

void TFormLabelFileCreate::ChooseFile(const QString& path) {
  EditFileName->setText(path);
  EditLabelFile->setText(ProposedLabelFile(path));
}

void TFormLabelFileCreate::SpeedButton1Click() {
  // The atlas's geometry files are .mds files in the shapefile layout; both are offered.
  const QString path =
      QFileDialog::getOpenFileName(this, QString(), QString(), "SHP (*.shp *.mds)");
  if (!path.isEmpty()) ChooseFile(path);
}

void TFormLabelFileCreate::BitBtnOKClick() {
  if (!ComboBoxField->currentText().isEmpty()) {
    try {
      CreateLabelFile(EditFileName->text(), ComboBoxField->currentText(), EditLabelFile->text());
    } catch (const db::Error& e) {
      base::UserMessages::Current().ShowMessage(e.Message);
    } catch (const base::FileError& e) {
      base::UserMessages::Current().ShowMessage(QString::fromStdString(e.what()));
    }
  }
  accept();
}

TFormAboutBox::TFormAboutBox(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QString::fromUtf8("Про \"CD Vandrel\""));
  setFixedSize(577, 413);
  auto* layout = new QVBoxLayout(this);
  auto* text = new QLabel(
      QString::fromUtf8(
          "<h2>Vandrel</h2><p>Електронний атлас мереж водопостачання та водовідведення міста.</p>"
          "<p>Версія %1</p><p>Перегляд карти, пошук вулиць і адрес, виміри відстаней і площ, "
          "довідкова інформація про об'єкти мереж.</p><p>Vandrel development team</p>")
          .arg(QApplication::applicationVersion()),
      this);
  text->setWordWrap(true);
  text->setAlignment(Qt::AlignCenter);
  layout->addWidget(text);
  auto* ok = new QPushButton("OK", this);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  layout->addWidget(ok, 0, Qt::AlignCenter);
}

TFormAuthors::TFormAuthors(QWidget* parent) : QDialog(parent) {
  setWindowTitle(QString::fromUtf8("Авторський колектив"));
  auto* layout = new QVBoxLayout(this);
  auto* text =
      new QLabel(QString::fromUtf8("<h3>Vandrel development team</h3>"
                                   "<p>Програма створена командою розробників Vandrel.</p>"),
                 this);
  text->setAlignment(Qt::AlignCenter);
  layout->addWidget(text);
  auto* ok = new QPushButton("OK", this);
  connect(ok, &QPushButton::clicked, this, &QDialog::accept);
  layout->addWidget(ok, 0, Qt::AlignCenter);
  resize(360, 160);
}
