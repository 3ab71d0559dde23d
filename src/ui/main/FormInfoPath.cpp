#include "FormInfoPath.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QGridLayout>
#include <QLabel>
#include <algorithm>

namespace {

QLabel* ValueLabel(QWidget* parent, const char* name) {
  auto* label = new QLabel(QString::fromUtf8("0 м"), parent);
  label->setObjectName(name);
  label->setAutoFillBackground(true);
  label->setStyleSheet("background: white; color: black; padding: 0 3px");
  label->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
  // Room for a city's lengths ("123456.78 м") without the window changing its size.
  label->setMinimumWidth(label->fontMetrics().horizontalAdvance("0000000.00 м") + 8);
  return label;
}

} // namespace

TFormInfoPath::TFormInfoPath(QWidget* parent)
    : QDialog(parent, Qt::Tool | Qt::WindowStaysOnTopHint | Qt::WindowCloseButtonHint) {
  setWindowTitle(QString::fromUtf8("Довжина шляху"));
  auto* grid = new QGridLayout(this);
  grid->setContentsMargins(6, 4, 6, 4);
  grid->setVerticalSpacing(3);
  grid->addWidget(new QLabel(QString::fromUtf8("Відрізок"), this), 0, 0);
  grid->addWidget(new QLabel(QString::fromUtf8("Загальна відстань"), this), 1, 0);
  LabelLineLeng = ValueLabel(this, "LabelLineLeng");
  LabelPathLeng = ValueLabel(this, "LabelPathLeng");
  grid->addWidget(LabelLineLeng, 0, 1);
  grid->addWidget(LabelPathLeng, 1, 1);
  // Wide enough that the title bar shows the whole title beside its button.
  const int titleWidth = fontMetrics().horizontalAdvance(windowTitle()) * 5 / 4 + 80;
  setFixedSize(std::max(sizeHint().width(), titleWidth), sizeHint().height());
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
