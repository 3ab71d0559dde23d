#pragma once
// A tool whose click names a map point to a window: "Що тут?" lists the objects there, the
// shut-off picks the pipe there. A drag picks nothing.

#include "MapTool.h"

#include <functional>

struct TMapEvents;

class TPointPickTool : public TMapTool {
public:
  using TPointEvent = std::function<void(double, double)> TMapEvents::*;
  // `event`: the map's event that hears the point (TMapEvents::OnIdentify, ::OnShutOffAt).
  TPointPickTool(TFAMap& map, int mode, TPointEvent event, int cursor)
      : TMapTool(map), ToolMode(mode), Event(event), CursorNumber(cursor) {}
  int Mode() const override { return ToolMode; }
  int Cursor() const override { return CursorNumber; }
  void Release(int x, int y) override;

private:
  int ToolMode;
  TPointEvent Event;
  int CursorNumber;
};
