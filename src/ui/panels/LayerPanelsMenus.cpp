// The panels' context menus ("Список", "Змінити знак", "Таблиця атрибутів") and what the search
// window asks of the panels.

#include "LayerPanels.h"
#include "PanelNodes.h"

#include "base/UserMessages.h"
#include "core/FAMap.h"
#include "data/DataModule.h"

#include <QAction>
#include <QListWidget>
#include <QMenu>

void TLayerPanels::BuildMenus() {
  auto add = [this](QMenu* menu, const char* name, const char* caption, void (TLayerPanels::*h)()) {
    QAction* a = menu->addAction(QString::fromUtf8(caption));
    a->setObjectName(name);
    connect(a, &QAction::triggered, this, [this, h] { (this->*h)(); });
  };
  ppmnLayers = new QMenu(&lboxLayers);
  ppmnLayers->setObjectName("ppmnLayers");
  add(ppmnLayers, "ppmiObjList", "Список", &TLayerPanels::ppmiObjListClick);
  add(ppmnLayers, "ppmiChgSymb", "Змінити знак", &TLayerPanels::ppmiChgSymbClick);
  add(ppmnLayers, "ppmiAttributes", "Таблиця атрибутів", &TLayerPanels::ppmiAttributesClick);
  ppmnObjects = new QMenu(&lboxObjects);
  ppmnObjects->setObjectName("ppmnObjects");
  add(ppmnObjects, "ppmiObjListObjects", "Список", &TLayerPanels::ppmiObjListObjectsClick);
  add(ppmnObjects, "ppmiChgSymbObjects", "Змінити знак", &TLayerPanels::ppmiChgSymbObjectsClick);
  add(ppmnObjects, "ppmiAttributesObjects", "Таблиця атрибутів",
      &TLayerPanels::ppmiAttributesClick);
  // The menus open over a line only: below the last line there is nothing to act on.
  connect(&lboxLayers, &QWidget::customContextMenuRequested, this, [this](QPoint p) {
    if (lboxLayers.indexAt(p).isValid()) ppmnLayers->popup(lboxLayers.viewport()->mapToGlobal(p));
  });
  connect(&lboxObjects, &QWidget::customContextMenuRequested, this, [this](QPoint p) {
    if (lboxObjects.indexAt(p).isValid())
      ppmnObjects->popup(lboxObjects.viewport()->mapToGlobal(p));
  });
}

QAction* TLayerPanels::Action(const QString& name) const {
  for (QMenu* menu : {ppmnLayers, ppmnObjects})
    if (auto* a = menu->findChild<QAction*>(name)) return a;
  return nullptr;
}

// ---------------------------------------------------------------- context menus

QString TLayerPanels::TableNameOf(const QString& fileName) {
  const qsizetype dot = fileName.indexOf('.');
  return dot < 0 ? QString() : fileName.left(dot);
}

void TLayerPanels::ShowList(const QString& fileName, const QString& caption, int listType,
                            int category, int cls, int group) {
  if (OnShowList)
    OnShowList(TableNameOf(fileName), Data.MapsDir, caption, listType, category, cls, group);
}

void TLayerPanels::ShowClassList(const TClassObject& c) {
  // List type 10: the object-utilities component shows its own list of the current layer.
  if (c.ListType == 10) {
    if (Map.ActiveLayer >= 0 && Map.ActiveLayer < int(Map.Layers.size()))
      Map.Layers[size_t(Map.ActiveLayer)]->ShowObjectList();
    return;
  }
  ShowList(c.FileName, c.ClassName, c.ListType, c.Category, c.Class, -1);
}

void TLayerPanels::ppmiObjListClick() {
  const TClassObject* entry = NodeAt<TClassObject>(LayerNodes, SelectedIndex(lboxLayers));
  if (entry) ShowClassList(*entry);
}

void TLayerPanels::ppmiObjListObjectsClick() {
  const int index = SelectedIndex(lboxObjects);
  if (const auto* c = NodeAt<TClassObject>(TreeNodes, index)) {
    ShowClassList(*c);
  } else if (const auto* g = NodeAt<TGroupObject>(TreeNodes, index)) {
    ShowList(g->FileName, g->GroupName, g->ListType, g->Category, g->Class, g->GroupNum);
  }
}

void TLayerPanels::ChangeSymbol(int category, int cls, int group) {
  if (!OnChooseSymbol || !Editable()) return; // the read-only modes hide the command
  if (OnChooseSymbol(category, cls, group)) {
    RebuildLayerList();
    RebuildTree();
    Repaint();
  } else {
    base::UserMessages::Current().ShowMessage(
        QString::fromUtf8("Помилка при установці знаку для виводу!"));
  }
}

void TLayerPanels::ppmiChgSymbClick() {
  if (const auto* entry = NodeAt<TClassObject>(LayerNodes, SelectedIndex(lboxLayers)))
    ChangeSymbol(entry->Category, entry->Class, 255);
}

void TLayerPanels::ppmiChgSymbObjectsClick() {
  const int index = SelectedIndex(lboxObjects);
  if (const auto* c = NodeAt<TClassObject>(TreeNodes, index))
    ChangeSymbol(c->Category, c->Class, 255);
  else if (const auto* g = NodeAt<TGroupObject>(TreeNodes, index))
    ChangeSymbol(g->Category, g->Class, g->GroupNum);
}

// ---------------------------------------------------------------- for the search window

int TLayerPanels::SelectedIndex(const QListWidget& list) const {
  return list.currentRow();
}

void TLayerPanels::ppmiAttributesClick() {
  int category = 0, cls = 0;
  if (SelectedClass(category, cls) && OnShowAttributes) OnShowAttributes(category, cls);
}

bool TLayerPanels::SelectedClass(int& category, int& cls) const {
  const bool objectsPage = lboxObjects.isVisible() || !lboxLayers.isVisible();
  TNodeList& nodes = const_cast<TNodeList&>(objectsPage ? TreeNodes : LayerNodes);
  const int index = SelectedIndex(objectsPage ? lboxObjects : lboxLayers);
  if (const auto* c = NodeAt<TClassObject>(nodes, index)) {
    category = c->Category;
    cls = c->Class;
    return true;
  }
  if (const auto* g = NodeAt<TGroupObject>(nodes, index)) {
    category = g->Category;
    cls = g->Class;
    return true;
  }
  return false;
}

bool TLayerPanels::ShowObjectOnMap(int Category, int Class, int ObjectNumber) {
  return Map.LocateLayerObject(Category, Class, ObjectNumber);
}

void TLayerPanels::SetObjectImageIndex(int ObjectNumber, int ImageIndex) {
  int category = 0, cls = 0;
  if (!SelectedClass(category, cls)) return;
  Map.Content.SetLayerObjectImage(category, cls, ObjectNumber, ImageIndex);
}

int TLayerPanels::GetObjectImageIndex(int ObjectNumber) {
  if (SelectedIndex(lboxObjects) < 0 && SelectedIndex(lboxLayers) < 0) return 0;
  int category = 0, cls = 0;
  if (!SelectedClass(category, cls)) return -1;
  return Map.Content.GetLayerObjectImage(category, cls, ObjectNumber);
}
