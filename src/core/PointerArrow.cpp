#include "PointerArrow.h"

#include "FAMap.h"

void TPointerArrow::SetLook(std::unique_ptr<IMapArrow> look) {
  Look = std::move(look);
  if (Look) Look->OnChanged = [this] { Map.ShowScreen(); };
}

void TPointerArrow::Hide() {
  IsShown = false;
  if (Look) Look->Hide(Map.Screen);
}

void TPointerArrow::Show(double X, double Y) {
  AtX = X;
  AtY = Y;
  IsShown = true;
  if (Look) Look->Show(Map.Screen, Map.World.WorldToScreenX(X), Map.World.WorldToScreenY(Y));
}

void TPointerArrow::ShowAgain() {
  if (IsShown) Show(AtX, AtY);
}
