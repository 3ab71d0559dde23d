#include "PointPickTool.h"

#include "core/FAMap.h"

void TPointPickTool::Release(int x, int y) {
  const auto& heard = Map.Events.*Event;
  if (Map.Gesture.Dragged || !heard) return;
  heard(Map.World.ScreenToWorldX(x), Map.World.ScreenToWorldY(y));
}
