#include "FormViewSelectedObjects.h"

#include "data/DataModule.h"

#include <QFrame>
#include <QListWidget>
#include <QPushButton>

TFormViewSelectedObjects::TFormViewSelectedObjects(TDataModuleVANDREL& data, QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint), Data(data) {
  setWindowTitle(QString::fromUtf8("Знайдені об'єкти"));
  setFixedSize(369, 116);
  ListBoxSelObjects = new QListWidget(this);
  ListBoxSelObjects->setObjectName("ListBoxSelObjects");
  ListBoxSelObjects->setGeometry(0, 0, 369, 81);
  ListBoxSelObjects->setSortingEnabled(false);
  auto* bottom = new QFrame(this);
  bottom->setGeometry(0, 81, 369, 35);
  BitBtnOK = new QPushButton(QString::fromUtf8("Вибрати"), bottom);
  BitBtnOK->setObjectName("BitBtnOK");
  BitBtnOK->setGeometry(96, 5, 83, 25);
  BitBtnOK->setDefault(true);
  connect(BitBtnOK, &QPushButton::clicked, this, &QDialog::accept);
  BitBtnCancel = new QPushButton(QString::fromUtf8("Відмінити"), bottom);
  BitBtnCancel->setObjectName("BitBtnCancel");
  BitBtnCancel->setGeometry(190, 5, 83, 25);
  connect(BitBtnCancel, &QPushButton::clicked, this, &QDialog::reject);
  // A double click on a line chooses it.
  connect(ListBoxSelObjects, &QListWidget::itemDoubleClicked, this, &QDialog::accept);
  move(Data.FormPositions.ViewSelObj.Left, Data.FormPositions.ViewSelObj.Top);
}

int TFormViewSelectedObjects::Choose(const QStringList& lines) {
  ListBoxSelObjects->clear();
  ListBoxSelObjects->addItems(lines);
  if (exec() != QDialog::Accepted) return -1;
  // OK without a chosen line chooses nothing.
  const QList<QListWidgetItem*> chosen = ListBoxSelObjects->selectedItems();
  return chosen.isEmpty() ? -1 : ListBoxSelObjects->row(chosen.first());
}

void TFormViewSelectedObjects::done(int result) {
  Data.FormPositions.ViewSelObj.Left = int16_t(x());
  Data.FormPositions.ViewSelObj.Top = int16_t(y());
  QDialog::done(result);
}
