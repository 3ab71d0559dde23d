#pragma once
// The arrow that points at an object found or picked: where it points, drawn on the map
// control's screen picture by its look (IMapArrow, owned here), and drawn again over each new
// picture while it is shown.

#include "MapArrow.h"

#include <memory>

class TFAMap;

class TPointerArrow {
public:
  explicit TPointerArrow(TFAMap& map) : Map(map) {}
  void SetLook(std::unique_ptr<IMapArrow> look);
  void Show(double X, double Y); // map coordinates
  void Hide();
  // Over a new screen picture: the arrow where it was shown.
  void ShowAgain();
  bool Shown() const { return IsShown; }
  double X() const { return AtX; }
  double Y() const { return AtY; }

private:
  TFAMap& Map;
  std::unique_ptr<IMapArrow> Look;
  double AtX = 0, AtY = 0;
  bool IsShown = false;
};
