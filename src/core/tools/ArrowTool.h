#pragma once
// The arrow: a click picks the object under it on the active layer (and, in an indexed layer,
// through the object index), which becomes the selection with the arrow pointing at it; the
// editing arrow opens the object's card too. A drag draws a box that only shows.

#include "MapTool.h"
#include "RubberBand.h"

class TCustomLayer;

class TArrowTool : public TMapTool {
public:
  // `mode`: TFAMap::ModeInfo, or ModeEdit for the arrow that opens the card.
  TArrowTool(TFAMap& map, int mode);
  int Mode() const override { return ToolMode; }
  void Press(int x, int y) override;
  void Move(int x, int y) override;
  void Release(int x, int y) override;
  void Abandon() override { Band.End(); }

private:
  void PickObject(int x, int y);
  void PickIndexedObject(TCustomLayer& layer, double wx, double wy);
  // Makes the picked record the selection's newest and points at it.
  void Picked(const TCustomLayer& layer, int record, double x, double y);
  void ShowCard(TCustomLayer& layer, int record);

  int ToolMode;
  bool OpensCard;
  TRubberBand Band;
};
