#pragma once
// The rubber band of the map's tools: a box or a line drawn not-xor on the screen picture, so
// that drawing it again erases it.

#include <cstdint>

class TFAMap;

class TRubberBand {
public:
  explicit TRubberBand(TFAMap& map) : Map(map) {}
  // Sets the screen's pen for the band (a solid one-pixel line of `colour`, 0x00BBGGRR).
  void Prepare(uint32_t colour);
  // The box's outline, both corners included.
  void Box(int x1, int y1, int x2, int y2);
  void Line(int x1, int y1, int x2, int y2);
  // While the button is held and dragged: the box from the press to (x, y), the last one erased.
  void DragBox(int x, int y);
  // Puts the screen's pen back.
  void End();
  bool Shown = false; // a box is on the screen now

private:
  TFAMap& Map;
  int SavedPenStyle = 0;
};
