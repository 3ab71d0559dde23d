#include "FormIdentify.h"

#include <QFileInfo>
#include <QHeaderView>
#include <QLabel>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

// The line of an object: its layer's name, then its number.
QString ObjectLine(const TIdentifiedObject& o) {
  const QString layer =
      o.Layer->ClassName.isEmpty() ? QFileInfo(o.Layer->FileName).fileName() : o.Layer->ClassName;
  if (o.RecordIndex < 0) return layer + QString::fromUtf8(": не прочитано");
  if (o.ObjectCode >= 0) return layer + QString::fromUtf8(": об'єкт %1").arg(o.ObjectCode);
  return layer + QString::fromUtf8(": запис %1").arg(o.RecordIndex + 1);
}

} // namespace

TFormIdentify::TFormIdentify(QWidget* parent) : QDialog(parent) {
  setObjectName("FormIdentify");
  setWindowTitle(QString::fromUtf8("Що тут?"));
  resize(420, 480);
  auto* layout = new QVBoxLayout(this);
  lblPlace = new QLabel(this);
  lblPlace->setObjectName("lblPlace");
  layout->addWidget(lblPlace);
  tvObjects = new QTreeWidget(this);
  tvObjects->setObjectName("tvObjects");
  tvObjects->setColumnCount(2);
  tvObjects->setHeaderLabels({QString::fromUtf8("Об'єкт / поле"), QString::fromUtf8("Значення")});
  tvObjects->header()->setSectionResizeMode(0, QHeaderView::ResizeToContents);
  tvObjects->setMouseTracking(true);
  layout->addWidget(tvObjects);
  connect(tvObjects, &QTreeWidget::itemEntered, this, [this](QTreeWidgetItem* item) {
    if (const TIdentifiedObject* o = ObjectOf(item); o && OnPointAt) OnPointAt(*o);
  });
  connect(tvObjects, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* item) {
    if (const TIdentifiedObject* o = ObjectOf(item); o && OnChoose) OnChoose(*o);
  });
  connect(tvObjects, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* item) {
    if (const TIdentifiedObject* o = ObjectOf(item); o && OnOpen) OnOpen(*o);
  });
}

void TFormIdentify::ShowObjects(std::vector<TIdentifiedObject> Objects, double X, double Y) {
  Found = std::move(Objects);
  lblPlace->setText(QString::fromUtf8("X %1  Y %2").arg(X, 0, 'f', 1).arg(Y, 0, 'f', 1));
  tvObjects->clear();
  if (Found.empty()) {
    tvObjects->addTopLevelItem(new QTreeWidgetItem({QString::fromUtf8("Нічого не знайдено")}));
    return;
  }
  for (size_t i = 0; i < Found.size(); ++i) {
    const TIdentifiedObject& o = Found[i];
    auto* line = new QTreeWidgetItem({ObjectLine(o)});
    line->setData(0, Qt::UserRole, int(i));
    if (!o.Problem.isEmpty()) line->addChild(new QTreeWidgetItem({o.Problem}));
    for (const TIdentifiedField& f : o.Fields)
      line->addChild(new QTreeWidgetItem({f.Name, f.Value}));
    tvObjects->addTopLevelItem(line);
  }
  // The nearest object open, the others closed: the first thing read is what was pointed at.
  tvObjects->topLevelItem(0)->setExpanded(true);
  tvObjects->setCurrentItem(tvObjects->topLevelItem(0));
}

void TFormIdentify::Forget() {
  tvObjects->clear();
  Found.clear();
  hide();
}

const TIdentifiedObject* TFormIdentify::ObjectOf(QTreeWidgetItem* item) const {
  while (item && item->parent())
    item = item->parent();
  if (!item || !item->data(0, Qt::UserRole).isValid()) return nullptr;
  const int i = item->data(0, Qt::UserRole).toInt();
  return i >= 0 && size_t(i) < Found.size() ? &Found[size_t(i)] : nullptr;
}
