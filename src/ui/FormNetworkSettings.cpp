#include "FormNetworkSettings.h"

#include "data/DataModule.h"
#include "base/UserMessages.h"
#include "db/Error.h"

#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

constexpr int kValveColumn = 1, kConnectionColumn = 2;

} // namespace

TFormNetworkSettings::TFormNetworkSettings(TDataModuleVANDREL& data, QWidget* parent)
    : QDialog(parent), Data(data) {
  setObjectName("FormNetworkSettings");
  setWindowTitle(QString::fromUtf8("Налаштування мережі"));
  resize(560, 440);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel(
      QString::fromUtf8("Групи вузлів, що є засувками, і групи вводів у будинки:"), this));
  tvGroups = new QTreeWidget(this);
  tvGroups->setObjectName("tvGroups");
  tvGroups->setRootIsDecorated(false);
  tvGroups->setHeaderLabels(
      {QString::fromUtf8("Група"), QString::fromUtf8("Засувка"), QString::fromUtf8("Ввід")});
  tvGroups->header()->setSectionResizeMode(0, QHeaderView::Stretch);
  layout->addWidget(tvGroups, 1);
  auto* buttons = new QHBoxLayout();
  btnSave = new QPushButton(QString::fromUtf8("Зберегти"), this);
  btnSave->setObjectName("btnSave");
  auto* cancel = new QPushButton(QString::fromUtf8("Закрити"), this);
  buttons->addStretch(1);
  buttons->addWidget(btnSave);
  buttons->addWidget(cancel);
  layout->addLayout(buttons);
  const bool editable = Data.WorkMode == 0;
  btnSave->setVisible(editable);
  connect(btnSave, &QPushButton::clicked, this, [this] {
    if (Save()) accept();
  });
  connect(cancel, &QPushButton::clicked, this, &QDialog::reject);

  network::TNetworkSettings settings;
  try {
    settings = network::TNetworkSettings::Read(Data.BaseDir);
  } catch (const std::exception& e) {
    base::UserMessages::Current().ShowMessage(QString::fromUtf8(e.what()));
  }
  // Every group of the node categories (100 and up), as the classification names it.
  db::Table groups(Data.BaseDir, "GroupReest.DB");
  try {
    groups.Open();
    for (groups.First(); !groups.Eof(); groups.Next()) {
      const int category = int(groups.FieldByName("Category").AsInteger());
      if (category < 100) continue;
      const int cls = int(groups.FieldByName("Class").AsInteger());
      const int group = int(groups.FieldByName("GroupNum").AsInteger());
      auto* item =
          new QTreeWidgetItem(tvGroups, {QString("%1.%2.%3  %4")
                                             .arg(category)
                                             .arg(cls)
                                             .arg(group)
                                             .arg(groups.FieldByName("GroupName").AsString())});
      item->setData(0, Qt::UserRole, QVariantList{category, cls, group});
      item->setCheckState(kValveColumn,
                          settings.IsValve(category, cls, group) ? Qt::Checked : Qt::Unchecked);
      item->setCheckState(kConnectionColumn, settings.IsConnection(category, cls, group)
                                                 ? Qt::Checked
                                                 : Qt::Unchecked);
      if (!editable) item->setFlags(item->flags() & ~Qt::ItemIsUserCheckable);
    }
  } catch (const db::Error& e) {
    base::UserMessages::Current().ShowMessage(e.Message);
  }
}

network::TNetworkSettings TFormNetworkSettings::Chosen() const {
  network::TNetworkSettings settings;
  for (int i = 0; i < tvGroups->topLevelItemCount(); ++i) {
    const QTreeWidgetItem* item = tvGroups->topLevelItem(i);
    const QVariantList key = item->data(0, Qt::UserRole).toList();
    const network::TNodeGroup group{key[0].toInt(), key[1].toInt(), key[2].toInt()};
    if (item->checkState(kValveColumn) == Qt::Checked) settings.Valves.push_back(group);
    if (item->checkState(kConnectionColumn) == Qt::Checked) settings.Connections.push_back(group);
  }
  return settings;
}

bool TFormNetworkSettings::Save() {
  if (Data.WorkMode != 0) return false; // nothing of the data root is written there
  try {
    Chosen().Write(Data.BaseDir);
    return true;
  } catch (const std::exception& e) {
    base::UserMessages::Current().ShowMessage(QString::fromUtf8(e.what()));
    return false;
  }
}
