#include "FormMap.h"

#include "app/DataModule.h"
#include "core/LayerFactory.h"

#include "base/FileError.h"
#include "db/Error.h"

#include <QHeaderView>
#include <QStatusBar>
#include <QTableWidget>

namespace {

QString KindName(int kind) {
  switch (kind) {
  case 1:
    return QString::fromUtf8("точки");
  case 3:
    return QString::fromUtf8("лінії");
  case 5:
    return QString::fromUtf8("полігони");
  case 7:
    return QString::fromUtf8("адреси");
  case 23:
    return QString::fromUtf8("назви вулиць");
  case 101:
    return QString::fromUtf8("об'єкти бази");
  case 102:
    return QString::fromUtf8("параметричні об'єкти");
  case 103:
    return QString::fromUtf8("параметричні лінії");
  default:
    return QString::number(kind);
  }
}

} // namespace

TFormMap::TFormMap(TDataModuleVANDREL& data) : Data(data) {
  setWindowTitle(QString::fromUtf8("Мережі Vandrel - Kovenor"));
  plugins::ObjectUtilsRegistry::Instance().SetMainForm(this);
  List = new QTableWidget(this);
  List->setColumnCount(7);
  List->setHorizontalHeaderLabels({QString::fromUtf8("Рівень"), QString::fromUtf8("Категорія"),
                                   QString::fromUtf8("Клас"), QString::fromUtf8("Назва"),
                                   QString::fromUtf8("Вид"), QString::fromUtf8("Файл"),
                                   QString::fromUtf8("Стан")});
  List->horizontalHeader()->setStretchLastSection(true);
  List->setEditTriggers(QAbstractItemView::NoEditTriggers);
  List->setSelectionBehavior(QAbstractItemView::SelectRows);
  List->verticalHeader()->hide();
  setCentralWidget(List);
  resize(1000, 520);
  ReloadLayers();
}

TFormMap::~TFormMap() = default;

void TFormMap::ReloadLayers() {
  LoadedLayers.clear();
  db::Table classes(Data.BaseDir, "CLASSREEST.DB");
  try {
    classes.Open();
    for (classes.First(); !classes.Eof(); classes.Next()) {
      LoadedLayer entry;
      const int kind = int(classes.FieldByName("PrimitiveType").AsInteger());
      std::unique_ptr<TCustomLayer> layer = TLayerFactory::Instance().Create(kind);
      if (!layer) layer = std::make_unique<TCustomLayer>(); // kinds not built yet: the common part
      try {
        layer->LoadFromDataSet(classes, Data.MapsDir);
        entry.Layer = std::move(layer);
      } catch (const db::Error& e) {
        entry.Error = e.Message;
      } catch (const std::exception& e) {
        entry.Error = QString::fromStdString(e.what());
      }
      LoadedLayers.push_back(std::move(entry));
    }
  } catch (const db::Error& e) {
    statusBar()->showMessage(e.Message);
  }
  FillList();
}

void TFormMap::FillList() {
  List->setRowCount(int(LoadedLayers.size()));
  int failed = 0;
  for (int r = 0; r < int(LoadedLayers.size()); ++r) {
    const LoadedLayer& entry = LoadedLayers[size_t(r)];
    const TCustomLayer* l = entry.Layer.get();
    auto set = [&](int column, const QString& text) {
      List->setItem(r, column, new QTableWidgetItem(text));
    };
    if (l) {
      set(0, QString::number(l->Level));
      set(1, QString::number(l->Category));
      set(2, QString::number(l->Class));
      set(3, l->ClassName);
      set(4, KindName(l->PrimitiveType));
      set(5, l->FileName);
      set(6, QString::fromUtf8("%1 × %2 м")
                 .arg(l->Xm - l->X0, 0, 'f', 0)
                 .arg(l->Ym - l->Y0, 0, 'f', 0));
    } else {
      ++failed;
      set(3, QString::fromUtf8("(не завантажено)"));
      set(6, entry.Error);
    }
  }
  List->resizeColumnsToContents();
  statusBar()->showMessage(QString::fromUtf8("Шарів: %1, не завантажено: %2. Атлас: %3")
                               .arg(LoadedLayers.size())
                               .arg(failed)
                               .arg(Data.DataRoot));
}
