// The layers panel's list at a click: a layer switched on or off, a layer dragged to another
// place in the drawing order, each written to the layers table first.

#include "LayerPanels.h"
#include "PanelNodes.h"

#include "base/UserMessages.h"
#include "core/FAMap.h"
#include "data/DataModule.h"

#include <QAction>
#include <QListWidget>
#include <exception>

void TLayerPanels::lboxLayersMouseDown(int x) {
  // Only this press can arm a drag: whatever an earlier press left is forgotten.
  LayerDragArmed = false;
  LayerDragMoved = false;
  const int index = SelectedIndex(lboxLayers);
  if (index < 0 || x <= 50) return;
  LayerDragSource = index;
  LayerDragArmed = true;
  SavedCursor = lboxLayers.viewport()->cursor();
}

void TLayerPanels::GiveUpLayerDrag() {
  if (LayerDragArmed) lboxLayers.viewport()->setCursor(SavedCursor);
  LayerDragArmed = false;
  LayerDragMoved = false;
}

void TLayerPanels::lboxLayersMouseMove() {
  if (!LayerDragArmed) return;
  lboxLayers.viewport()->setCursor(Qt::DragMoveCursor);
  LayerDragMoved = true;
}

void TLayerPanels::SetLayersLineStates(int index) {
  const TClassObject* entry = NodeAt<TClassObject>(LayerNodes, index);
  if (!entry) return;
  Map.ActiveLayer = MapLayerOf(entry->Category, entry->Class);
  Action("ppmiObjList")->setEnabled(entry->ListType != 0);
  Action("ppmiChgSymb")->setVisible(entry->Category >= 100 && Editable());
  Repaint();
}

void TLayerPanels::lboxLayersMouseUp(int x) {
  // A drop needs a drag armed by this button's press that moved; the drag ends here either way.
  const bool drop = LayerDragArmed && LayerDragMoved && x > 50;
  const int source = LayerDragSource;
  GiveUpLayerDrag();
  const int index = SelectedIndex(lboxLayers);
  if (index < 0) return;
  try {
    TClassObject* entry = NodeAt<TClassObject>(LayerNodes, index);
    if (!entry) return;
    SetLayersLineStates(index);
    if (x > 50) {
      if (drop && index != source) EndLayerDrag(source, index);
    } else if (x < 20) {
      ToggleLayerVisible(*entry);
    } else if (Editable() && OnLayerProperties) {
      // The layer properties window works on the layers table's current row.
      if (Data.TableClasses.FindKey({int64_t(entry->Level)})) OnLayerProperties();
      ReloadMapAndRedraw();
      RebuildLayerList();
      RebuildTree();
    }
  } catch (const std::exception&) {
    // The lists keep the state they reached.
  }
  Repaint();
}

void TLayerPanels::EndLayerDrag(int source, int target) {
  if (Editable()) {
    MoveLayerLevel(LayerNodes, source, target);
    // The map's own cursor on the layers table lets go of it while the table is rewritten;
    // the reload opens it again.
    Map.Content.ClassTable.Close();
    WriteLayerList(Data.TableClasses, LayerNodes);
    RebuildLayerList();
    RebuildTree();
    ReloadMapAndRedraw();
  } else {
    auto moveEntry = [](auto& v, int from, int to) {
      auto item = std::move(v[size_t(from)]);
      v.erase(v.begin() + from);
      v.insert(v.begin() + to, std::move(item));
    };
    const auto& from = static_cast<TClassObject&>(*LayerNodes[size_t(source)].Node);
    const auto& onto = static_cast<TClassObject&>(*LayerNodes[size_t(target)].Node);
    const int mapSource = MapLayerOf(from.Category, from.Class);
    const int mapTarget = MapLayerOf(onto.Category, onto.Class);
    moveEntry(LayerNodes, source, target);
    if (mapSource >= 0 && mapTarget >= 0) moveEntry(Map.Layers, mapSource, mapTarget);
    Map.Redraw();
  }
  lboxLayers.setCurrentRow(target);
}

void TLayerPanels::ToggleLayerVisible(TClassObject& entry) {
  entry.Visibled = !entry.Visibled;
  if (Editable()) {
    if (!WriteState([&] { SetClassVisibled(Data.TableClasses, entry.Level, entry.Visibled); })) {
      entry.Visibled = !entry.Visibled; // the lamp as it was
      Repaint();
      return;
    }
    ReloadMapAndRedraw();
    RebuildTree();
  } else {
    SetLayerVisible(entry.Category, entry.Class, entry.Visibled);
    if (TClassObject* c = FirstClassNode(TreeNodes, entry.Category, entry.Class))
      c->Visibled = entry.Visibled;
  }
}
