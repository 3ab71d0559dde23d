#include "FormMsg.h"

#include "data/DataModule.h"

#include <QApplication>
#include <QFrame>
#include <QLabel>
#include <QPushButton>
#include <QStyle>

TFormMsg::TFormMsg(TDataModuleVANDREL& data, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint), Data(data) {
  setWindowTitle(QString::fromUtf8("Увага"));
  setFixedSize(243, 85);
  auto* picture = new QLabel(this);
  picture->setGeometry(8, 10, 32, 32);
  picture->setPixmap(QApplication::style()->standardIcon(QStyle::SP_MessageBoxQuestion).pixmap(32));
  auto* panel = new QFrame(this);
  panel->setFrameShape(QFrame::Panel);
  panel->setFrameShadow(QFrame::Sunken);
  panel->setGeometry(48, 6, 189, 42);
  LabelMsg = new QLabel(panel);
  LabelMsg->setObjectName("LabelMsg");
  LabelMsg->setGeometry(2, 2, 185, 38);
  LabelMsg->setAlignment(Qt::AlignCenter);
  LabelMsg->setWordWrap(true);
  BitBtnOK = new QPushButton(QString::fromUtf8("Так"), this);
  BitBtnOK->setObjectName("BitBtnOK");
  BitBtnOK->setGeometry(48, 54, 88, 25);
  BitBtnOK->setDefault(true);
  connect(BitBtnOK, &QPushButton::clicked, this, &QDialog::accept);
  BitBtnCancel = new QPushButton(QString::fromUtf8("Відмінити"), this);
  BitBtnCancel->setObjectName("BitBtnCancel");
  BitBtnCancel->setGeometry(149, 54, 88, 25);
  connect(BitBtnCancel, &QPushButton::clicked, this, &QDialog::reject);
  move(Data.FormPositions.Msg.Left, Data.FormPositions.Msg.Top);
}

bool TFormMsg::Ask(const QString& question) {
  LabelMsg->setText(question);
  return exec() == QDialog::Accepted;
}

void TFormMsg::done(int result) {
  Data.FormPositions.Msg.Left = int16_t(x());
  Data.FormPositions.Msg.Top = int16_t(y());
  QDialog::done(result);
}
