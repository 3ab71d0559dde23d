#pragma once
// Measuring a path or an area: each click adds a point, a line follows the pointer from the
// last one (near a side of the view, or outside the control, the view scrolls that way), a
// double click ends the measurement, Backspace takes its last point back and Escape gives it up.

#include "MapTool.h"
#include "RubberBand.h"

#include <QTimer>

class TMeasureTool : public TMapTool {
public:
  // While the pointer is outside the control: how often its place is looked at.
  static constexpr int kOutsideInterval = 400; // milliseconds

  explicit TMeasureTool(TFAMap& map);
  int Mode() const override;
  int Cursor() const override { return 1004; }
  void Press(int x, int y) override;
  void Move(int x, int y) override;
  void Release(int x, int y) override;
  bool Key(QKeyEvent& e) override;
  void Abandon() override { Band.End(); }
  void Leave() override;
  void Enter() override;

private:
  // The line from the last point to (x, y), the view scrolled when the point nears its side.
  void FollowPointer(int x, int y);
  void FeedPointerOutside();
  // The measuring ends (finished or given up): the map has no mode then.
  void Stop();

  TRubberBand Band;
  // No move events come while the pointer is outside the control and no button is held; its
  // place is looked at instead, so that the view scrolls towards it.
  QTimer OutsideTimer;
  bool Outside = false;
};

// A click on a measurement asks whether to delete it.
class TDeleteMeasureTool : public TMapTool {
public:
  explicit TDeleteMeasureTool(TFAMap& map) : TMapTool(map) {}
  int Mode() const override;
  int Cursor() const override { return kKeepCursor; }
  void Release(int x, int y) override;
};
