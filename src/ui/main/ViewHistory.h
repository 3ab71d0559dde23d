#pragma once
// The views the user has seen, for stepping back and forward: a new view is kept after the
// current one and cuts off the views ahead of it.

#include "core/World.h"

#include <cstddef>
#include <vector>

class TViewHistory {
public:
  static constexpr size_t kLimit = 100; // the oldest views are let go beyond this

  // A view the map came to. The current view again (as the map fits it) is not kept twice.
  void Visit(const TExtent& view);
  // The map was resized: its current view is now `view`, the history otherwise unchanged.
  void ReplaceCurrent(const TExtent& view);
  bool CanGoBack() const { return At > 0; }
  bool CanGoForward() const { return At + 1 < Views.size(); }
  // Steps and returns the view to show; the current view when there is nowhere to go.
  TExtent Back();
  TExtent Forward();
  size_t Size() const { return Views.size(); }
  size_t Position() const { return At; }
  static bool SameView(const TExtent& a, const TExtent& b);

private:
  std::vector<TExtent> Views;
  size_t At = 0;
};
