#include "FormNetworkSettings.h"

#include "base/UserMessages.h"
#include "data/DataModule.h"
#include "db/Error.h"

#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

constexpr int kValveColumn = 1, kConnectionColumn = 2, kSourceColumn = 3;

} // namespace

TFormNetworkSettings::TFormNetworkSettings(TDataModuleVANDREL& data, QWidget* parent)
    : QDialog(parent), Data(data) {
  setObjectName("FormNetworkSettings");
  setWindowTitle(QString::fromUtf8("Налаштування мережі"));
  resize(560, 440);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(new QLabel(
      QString::fromUtf8("Групи вузлів, що є засувками, вводами в будинки і джерелами води:"),
      this));
  tvGroups = new QTreeWidget(this);
  tvGroups->setObjectName("tvGroups");
  tvGroups->setRootIsDecorated(false);
  tvGroups->setHeaderLabels({QString::fromUtf8("Група"), QString::fromUtf8("Засувка"),
                             QString::fromUtf8("Ввід"), QString::fromUtf8("Джерело")});
  tvGroups->header()->setSectionResizeMode(0, QHeaderView::Stretch);
  layout->addWidget(tvGroups, 1);
  auto* buildings = new QFormLayout();
  cbBuildings = new QComboBox(this);
  cbBuildings->setObjectName("cbBuildings");
  cbAddresses = new QComboBox(this);
  cbAddresses->setObjectName("cbAddresses");
  edTolerance = new QDoubleSpinBox(this);
  edTolerance->setObjectName("edTolerance");
  edTolerance->setRange(0, 100);
  edTolerance->setDecimals(1);
  edTolerance->setSuffix(QString::fromUtf8(" м"));
  buildings->addRow(QString::fromUtf8("Шар будинків:"), cbBuildings);
  buildings->addRow(QString::fromUtf8("Шар адрес:"), cbAddresses);
  buildings->addRow(QString::fromUtf8("Кінець вводу від будинку, до:"), edTolerance);
  layout->addLayout(buildings);
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

  try {
    AsRead = network::TNetworkSettings::Read(Data.BaseDir);
  } catch (const std::exception& e) {
    base::UserMessages::Current().ShowMessage(QString::fromUtf8(e.what()));
  }
  FillGroups(AsRead, editable);
  FillLayers(AsRead);
  for (QWidget* w : std::initializer_list<QWidget*>{cbBuildings, cbAddresses, edTolerance})
    w->setEnabled(editable);
}

void TFormNetworkSettings::FillGroups(const network::TNetworkSettings& settings, bool editable) {
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
      const auto tick = [](bool on) { return on ? Qt::Checked : Qt::Unchecked; };
      item->setCheckState(kValveColumn, tick(settings.IsValve(category, cls, group)));
      item->setCheckState(kConnectionColumn, tick(settings.IsConnection(category, cls, group)));
      item->setCheckState(kSourceColumn, tick(settings.IsSource(category, cls, group)));
      if (!editable) item->setFlags(item->flags() & ~Qt::ItemIsUserCheckable);
    }
  } catch (const db::Error& e) {
    base::UserMessages::Current().ShowMessage(e.Message);
  }
}

void TFormNetworkSettings::FillLayers(const network::TNetworkSettings& settings) {
  for (QComboBox* box : {cbBuildings, cbAddresses})
    box->addItem(QString::fromUtf8("(немає)"), QVariantList{0, 0});
  db::Table layers(Data.BaseDir, "ClassReest");
  try {
    layers.Open();
    for (layers.First(); !layers.Eof(); layers.Next()) {
      const int category = int(layers.FieldByName("Category").AsInteger());
      const int cls = int(layers.FieldByName("Class").AsInteger());
      for (QComboBox* box : {cbBuildings, cbAddresses})
        box->addItem(QString("%1.%2  %3")
                         .arg(category)
                         .arg(cls)
                         .arg(layers.FieldByName("ClassName").AsString()),
                     QVariantList{category, cls});
    }
  } catch (const db::Error& e) {
    base::UserMessages::Current().ShowMessage(e.Message);
  }
  const auto choose = [](QComboBox* box, network::TLayerClass layer) {
    const int at = box->findData(QVariantList{layer.Category, layer.Class});
    box->setCurrentIndex(std::max(0, at));
  };
  choose(cbBuildings, settings.Buildings);
  choose(cbAddresses, settings.Addresses);
  edTolerance->setValue(settings.BuildingTolerance);
}

network::TNetworkSettings TFormNetworkSettings::Chosen() const {
  network::TNetworkSettings settings = AsRead;
  settings.Valves.clear();
  settings.Connections.clear();
  settings.Sources.clear();
  for (int i = 0; i < tvGroups->topLevelItemCount(); ++i) {
    const QTreeWidgetItem* item = tvGroups->topLevelItem(i);
    const QVariantList key = item->data(0, Qt::UserRole).toList();
    const network::TNodeGroup group{key[0].toInt(), key[1].toInt(), key[2].toInt()};
    if (item->checkState(kValveColumn) == Qt::Checked) settings.Valves.push_back(group);
    if (item->checkState(kConnectionColumn) == Qt::Checked) settings.Connections.push_back(group);
    if (item->checkState(kSourceColumn) == Qt::Checked) settings.Sources.push_back(group);
  }
  const auto layerOf = [](const QComboBox* box) {
    const QVariantList key = box->currentData().toList();
    return network::TLayerClass{key.value(0).toInt(), key.value(1).toInt()};
  };
  settings.Buildings = layerOf(cbBuildings);
  settings.Addresses = layerOf(cbAddresses);
  settings.BuildingTolerance = edTolerance->value();
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
