#include "FormAtlasCrs.h"

#include "base/FileError.h"
#include "base/IniFile.h"
#include "base/PathResolver.h"
#include "base/UserMessages.h"
#include "gis/AtlasCrs.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

TFormAtlasCrs::TFormAtlasCrs(const QString& baseDir, QWidget* parent)
    : QDialog(parent), BaseDir(baseDir) {
  setObjectName("FormAtlasCrs");
  setWindowTitle(QString::fromUtf8("Система координат атласу"));
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel(
      QString::fromUtf8("Система координат (EPSG:N, рядок PROJ або WKT; порожньо — без системи):"),
      this));
  edtCrs = new QLineEdit(this);
  edtCrs->setObjectName("edtCrs");
  edtCrs->setText(base::IniFile(base::ResolvePath(BaseDir, gis::TAtlasCrs::FileName))
                      .ReadString("Atlas", "CRS", QString())
                      .trimmed());
  layout->addWidget(edtCrs);
  lblName = new QLabel(this);
  lblName->setObjectName("lblName");
  lblName->setWordWrap(true);
  layout->addWidget(lblName);
  auto* buttons = new QDialogButtonBox(this);
  btnSave = buttons->addButton(QString::fromUtf8("Зберегти"), QDialogButtonBox::AcceptRole);
  btnSave->setObjectName("btnSave");
  buttons->addButton(QString::fromUtf8("Закрити"), QDialogButtonBox::RejectRole);
  layout->addWidget(buttons);
  connect(edtCrs, &QLineEdit::textChanged, this, [this] { Check(); });
  connect(buttons, &QDialogButtonBox::accepted, this, [this] {
    if (Save()) accept();
  });
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  resize(520, sizeHint().height());
  Check();
}

void TFormAtlasCrs::Check() {
  QString name;
  const bool known = gis::TAtlasCrs::Describe(edtCrs->text(), name);
  lblName->setText(name);
  lblName->setStyleSheet(known ? QString() : QString("color: #A00000"));
  btnSave->setEnabled(known);
  // A reason of several lines makes the window taller instead of going under the buttons.
  layout()->activate();
  const int needed = layout()->totalHeightForWidth(width());
  if (needed > height()) resize(width(), needed);
}

bool TFormAtlasCrs::Save() {
  QString name;
  if (!gis::TAtlasCrs::Describe(edtCrs->text(), name)) {
    base::UserMessages::Current().ShowMessage(name);
    return false;
  }
  try {
    base::IniFile ini(base::ResolvePath(BaseDir, gis::TAtlasCrs::FileName));
    const QString text = edtCrs->text().trimmed();
    if (text.isEmpty())
      ini.DeleteKey("Atlas", "CRS");
    else
      ini.WriteString("Atlas", "CRS", text);
    ini.Save();
  } catch (const base::FileError& e) {
    base::UserMessages::Current().ShowMessage(QString::fromUtf8(e.what()));
    return false;
  }
  return true;
}
