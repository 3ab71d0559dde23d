// The objects panel's tree at a click: the line's menu items, a category opened or closed, a
// category's or class's lamp switched, each written to the classification tables first.

#include "LayerPanels.h"
#include "PanelNodes.h"

#include "base/UserMessages.h"
#include "core/FAMap.h"
#include "data/DataModule.h"

#include <QAction>
#include <QListWidget>
#include <exception>

void TLayerPanels::SetObjectsLineStates(int index) {
  if (NodeAt<TCategoryObject>(TreeNodes, index)) {
    Action("ppmiObjListObjects")->setEnabled(false);
    Action("ppmiChgSymbObjects")->setVisible(false);
  } else if (auto* c = NodeAt<TClassObject>(TreeNodes, index)) {
    Map.ActiveLayer = MapLayerOf(c->Category, c->Class);
    Action("ppmiObjListObjects")->setEnabled(c->ListType != 0);
    Action("ppmiChgSymbObjects")->setVisible(c->Category >= 100 && Editable());
  } else if (auto* g = NodeAt<TGroupObject>(TreeNodes, index)) {
    Map.ActiveLayer = MapLayerOf(g->Category, g->Class);
    Action("ppmiObjListObjects")->setEnabled(true);
    Action("ppmiChgSymbObjects")->setVisible(Editable());
  }
  Repaint();
}

void TLayerPanels::lboxObjectsMouseUp(int x) {
  const int index = SelectedIndex(lboxObjects);
  if (index < 0) return;
  try {
    SetObjectsLineStates(index);
    if (auto* category = NodeAt<TCategoryObject>(TreeNodes, index)) {
      if (x > 40) return;
      if (x < 20)
        ToggleCategoryOpen(index, *category);
      else
        ToggleCategoryVisible(index, *category);
    } else if (auto* c = NodeAt<TClassObject>(TreeNodes, index)) {
      if (x >= 25 && x < 40) ToggleClassVisible(*c);
    }
  } catch (const std::exception&) {
    // The lists keep the state they reached.
  }
}

bool TLayerPanels::WriteState(const std::function<void()>& write) {
  try {
    write();
    return true;
  } catch (const std::exception& e) {
    // The row being written is given up; the list shows what the tables hold.
    for (db::Table* t : {&Data.TableCategory, &Data.TableClasses, &Data.TableGroup})
      t->Cancel();
    base::UserMessages::Current().ShowMessage(QString::fromUtf8("Ошибка записи в БД!\n") +
                                              QString::fromUtf8(e.what()));
    return false;
  }
}

void TLayerPanels::ToggleCategoryOpen(int index, TCategoryObject& category) {
  category.OpenTree = !category.OpenTree;
  if (Editable()) {
    if (!WriteState(
            [&] { SetCategoryOpen(Data.TableCategory, category.Category, category.OpenTree); })) {
      category.OpenTree = !category.OpenTree; // the folder as it was
      Repaint();
      return;
    }
    RebuildTree();
  } else if (category.OpenTree) {
    // The category's classes are read into the tree under it, in memory only.
    int p = 0;
    db::Table& categories = Data.TableCategory;
    for (categories.First(); !categories.Eof(); categories.Next(), ++p)
      if (categories.FieldByName("Category").AsInteger() == category.Category) break;
    TNodeList inserted;
    AppendCategoryClasses({Data.TableCategory, Data.TableClasses, Data.TableGroup},
                          category.Category, p, inserted);
    const auto at = TreeNodes.begin() + index + 1;
    TreeNodes.insert(at, std::make_move_iterator(inserted.begin()),
                     std::make_move_iterator(inserted.end()));
    FillItems(lboxObjects, TreeNodes.size());
    lboxObjects.setCurrentRow(index);
  } else {
    int end = index + 1;
    while (end < int(TreeNodes.size()) && Kind(TreeNodes, end) != '+')
      ++end;
    TreeNodes.erase(TreeNodes.begin() + index + 1, TreeNodes.begin() + end);
    FillItems(lboxObjects, TreeNodes.size());
    lboxObjects.setCurrentRow(index);
  }
  Repaint();
}

void TLayerPanels::ToggleCategoryVisible(int index, TCategoryObject& category) {
  category.Visibled = !category.Visibled;
  if (Editable()) {
    WriteState([&] {
      SetCategoryVisibled({Data.TableCategory, Data.TableClasses, Data.TableGroup},
                          category.Category, category.Visibled);
    });
    // Written or not, the lists and the map are read again: the lamps show what the tables hold.
    ReloadMapAndRedraw();
    RebuildTree();
    RebuildLayerList();
  } else {
    for (int k = index + 1; k < int(TreeNodes.size()) && Kind(TreeNodes, k) != '+'; ++k)
      if (auto* c = NodeAt<TClassObject>(TreeNodes, k))
        if (c->Category == category.Category) c->Visibled = category.Visibled;
    for (const auto& layer : Map.Layers)
      if (layer->Category == category.Category) layer->Visibled = category.Visibled;
    for (TNodeLine& line : LayerNodes)
      if (auto* entry = dynamic_cast<TClassObject*>(line.Node.get()))
        if (entry->Category == category.Category) entry->Visibled = category.Visibled;
    Map.Redraw();
  }
  Repaint();
}

void TLayerPanels::ToggleClassVisible(TClassObject& c) {
  c.Visibled = !c.Visibled;
  if (Editable()) {
    if (!WriteState([&] { SetClassVisibled(Data.TableClasses, c.Level, c.Visibled); })) {
      c.Visibled = !c.Visibled; // the lamp as it was
      Repaint();
      return;
    }
    ReloadMapAndRedraw();
    RebuildLayerList();
  } else {
    SetLayerVisible(c.Category, c.Class, c.Visibled);
  }
  Repaint();
}

int TLayerPanels::MapLayerOf(int category, int cls) const {
  // The map builds one layer per row of the layers table where it can; a row of a kind it cannot
  // draw, or whose files failed to load, has none, so positions in the lists and in the map may
  // differ. The layer is found by its category and class.
  for (size_t i = 0; i < Map.Layers.size(); ++i)
    if (Map.Layers[i]->Category == category && Map.Layers[i]->Class == cls) return int(i);
  return -1;
}

void TLayerPanels::SetLayerVisible(int category, int cls, bool value) {
  for (size_t i = 0; i < Map.Layers.size(); ++i)
    if (Map.Layers[i]->Category == category && Map.Layers[i]->Class == cls) {
      Map.Layers[i]->Visibled = value;
      break;
    }
  if (TClassObject* entry = FirstClassNode(LayerNodes, category, cls)) entry->Visibled = value;
  Map.RedrawChanged();
}

void TLayerPanels::ReloadMapAndRedraw() {
  Map.ReloadMap();
  Map.RedrawChanged();
}
