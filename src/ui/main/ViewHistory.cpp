#include "ViewHistory.h"

#include <cmath>

bool TViewHistory::SameView(const TExtent& a, const TExtent& b) {
  // A view shown again is fitted to the window anew: equal within a millionth of its size.
  const double tolerance =
      1e-6 * std::max(std::fabs(a.XMax - a.XMin), std::fabs(a.YMax - a.YMin)) + 1e-9;
  return std::fabs(a.XMin - b.XMin) <= tolerance && std::fabs(a.YMin - b.YMin) <= tolerance &&
         std::fabs(a.XMax - b.XMax) <= tolerance && std::fabs(a.YMax - b.YMax) <= tolerance;
}

void TViewHistory::Visit(const TExtent& view) {
  if (!Views.empty() && SameView(Views[At], view)) return;
  if (!Views.empty()) Views.erase(Views.begin() + std::ptrdiff_t(At) + 1, Views.end());
  Views.push_back(view);
  if (Views.size() > kLimit) Views.erase(Views.begin());
  At = Views.size() - 1;
}

void TViewHistory::ReplaceCurrent(const TExtent& view) {
  if (Views.empty())
    Visit(view);
  else
    Views[At] = view;
}

TExtent TViewHistory::Back() {
  if (CanGoBack()) --At;
  return Views.empty() ? TExtent{} : Views[At];
}

TExtent TViewHistory::Forward() {
  if (CanGoForward()) ++At;
  return Views.empty() ? TExtent{} : Views[At];
}
