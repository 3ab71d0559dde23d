#include "ArrowTool.h"

#include "core/FAMap.h"

#include "base/UserMessages.h"

#include <QApplication>

namespace {

void SayPickFailed(const std::exception& e) {
  base::UserMessages::Current().ShowMessage(QString::fromUtf8("Помилка: ") +
                                            QString::fromStdString(e.what()));
}

} // namespace

TArrowTool::TArrowTool(TFAMap& map, int mode)
    : TMapTool(map), ToolMode(mode), OpensCard(mode == TFAMap::ModeEdit), Band(map) {}

void TArrowTool::Press(int, int) {
  Band.Prepare(32768);
}

void TArrowTool::Move(int x, int y) {
  Band.DragBox(x, y);
}

void TArrowTool::Release(int x, int y) {
  Band.End();
  if (!Map.Gesture.Dragged) {
    PickObject(x, y);
    return;
  }
  // The box only showed: the picture without it, the arrow where it was.
  const bool arrow = Map.Arrow.Shown();
  Map.Arrow.Hide();
  Map.Paint();
  if (arrow) Map.Arrow.Show(Map.Arrow.X(), Map.Arrow.Y());
}

void TArrowTool::PickObject(int x, int y) {
  TCustomLayer* active = Map.ActiveLayerObject();
  if (!active) return;
  TCustomLayer& layer = *active;
  QApplication::setOverrideCursor(Qt::WaitCursor);
  const double wx = Map.World.ScreenToWorldX(x), wy = Map.World.ScreenToWorldY(y);
  if (layer.IsIndexed) {
    try {
      PickIndexedObject(layer, wx, wy);
    } catch (const std::exception& e) {
      // A grid or user-object table that cannot be searched: said, and nothing is selected.
      SayPickFailed(e);
    }
    QApplication::restoreOverrideCursor();
    return;
  }
  const int kind = layer.PrimitiveType;
  const bool flash = OpensCard ? (kind == 102 || kind == 103) : !(kind == 1 || kind == 101);
  int index = -1;
  try {
    index = layer.FindObject(Map.ScreenCanvas(true), Map.World, wx, wy, true, flash);
  } catch (const std::exception& e) {
    if (Map.Events.OnLayerError)
      Map.Events.OnLayerError(Map.ActiveLayer, QString::fromStdString(e.what()));
  }
  Map.ScreenCanvas(false);
  QApplication::restoreOverrideCursor();
  if (index < 0) return;
  double foundX = 0, foundY = 0;
  layer.GetFoundPoint(foundX, foundY);
  Picked(layer, index, foundX, foundY);
  if (OpensCard) ShowCard(layer, index);
}

void TArrowTool::PickIndexedObject(TCustomLayer& layer, double wx, double wy) {
  IMapObjectIndex* index = Map.Content.ObjectIndex();
  if (!index) return;
  int32_t number = -1;
  int cls = layer.Class;
  double x = 0, y = 0;
  // The index may ask the user to choose: the busy cursor is not shown meanwhile.
  QApplication::restoreOverrideCursor();
  const bool found =
      index->FindObjectsAt(Map.World, int16_t(layer.Category), wx, wy, cls, number, x, y);
  QApplication::setOverrideCursor(Qt::WaitCursor);
  if (!found) return;
  int row = -1;
  try {
    row = layer.IndexOfCode(number);
  } catch (const std::exception& e) {
    if (Map.Events.OnLayerError)
      Map.Events.OnLayerError(Map.ActiveLayer, QString::fromStdString(e.what()));
  }
  Picked(layer, row, x, y);
  if (OpensCard) layer.ShowObjectCard(number);
}

void TArrowTool::Picked(const TCustomLayer& layer, int record, double x, double y) {
  Map.AddToSelection({layer.Category, layer.Class, record});
  if (Map.Events.OnSelectionChanged) Map.Events.OnSelectionChanged();
  Map.Arrow.Hide();
  Map.Paint();
  Map.Arrow.Show(x, y);
}

void TArrowTool::ShowCard(TCustomLayer& layer, int record) {
  try {
    layer.ShowObjectCard(layer.GetObjectCode(record));
  } catch (const std::exception& e) {
    // An objects table without ObjectCode: the card cannot be found; the selection stays.
    SayPickFailed(e);
  }
}
