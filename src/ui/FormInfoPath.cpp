#include "FormInfoPath.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QLabel>

namespace {

QLabel* ValueLabel(QWidget* parent, const char* name, int top) {
  auto* label = new QLabel(QString::fromUtf8("0 м"), parent);
  label->setObjectName(name);
  label->setGeometry(104, top, 70, 17);
  label->setAutoFillBackground(true);
  label->setStyleSheet("background: white; color: black");
  label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  return label;
}

} // namespace

TFormInfoPath::TFormInfoPath(QWidget* parent)
    : QDialog(parent, Qt::Tool | Qt::WindowStaysOnTopHint | Qt::WindowCloseButtonHint) {
  setWindowTitle(QString::fromUtf8("Довжина шляху"));
  setFixedSize(179, 46);
  QFont small = font();
  small.setPixelSize(10); // small enough that both captions fit beside their values
  setFont(small);
  (new QLabel(QString::fromUtf8("Відрізок"), this))->setGeometry(4, 4, 98, 17);
  (new QLabel(QString::fromUtf8("Загальна відстань"), this))->setGeometry(4, 25, 98, 17);
  LabelLineLeng = ValueLabel(this, "LabelLineLeng", 4);
  LabelPathLeng = ValueLabel(this, "LabelPathLeng", 25);
  auto* copy = new QAction(QString::fromUtf8("Копіювати"), this);
  copy->setObjectName("actCopyLengths");
  connect(copy, &QAction::triggered, this, [this] { CopyLengths(); });
  addAction(copy);
  setContextMenuPolicy(Qt::ActionsContextMenu);
}

void TFormInfoPath::SetLengths(const QString& segment, const QString& total) {
  LabelLineLeng->setText(segment);
  LabelPathLeng->setText(total);
}

QString TFormInfoPath::LengthsText() const {
  return QString::fromUtf8("Відрізок: %1\nЗагальна відстань: %2")
      .arg(LabelLineLeng->text(), LabelPathLeng->text());
}

void TFormInfoPath::CopyLengths() const {
  QApplication::clipboard()->setText(LengthsText());
}
