#pragma once
// Zooming by the mouse: in by a click (the view halved about the point) or by a dragged box, out
// by a click (the view doubled about the point).

#include "MapTool.h"
#include "RubberBand.h"

class TZoomInTool : public TMapTool {
public:
  explicit TZoomInTool(TFAMap& map) : TMapTool(map), Band(map) {}
  int Mode() const override;
  int Cursor() const override { return 1001; }
  void Press(int x, int y) override;
  void Move(int x, int y) override;
  void Release(int x, int y) override;
  void Abandon() override { Band.End(); }

private:
  TRubberBand Band;
};

class TZoomOutTool : public TMapTool {
public:
  explicit TZoomOutTool(TFAMap& map) : TMapTool(map) {}
  int Mode() const override;
  int Cursor() const override { return 1002; }
  void Release(int x, int y) override;
};
