#pragma once
// Names of the invented city: streets, kinds of streets and of buildings.

#include <QString>
#include <QStringList>

namespace demo {

// The n-th street name (0-based); names repeat with an ordinal prefix once the list runs out.
QString StreetName(int n);

struct BuildingKind {
  QString Name; // "Школа №" gets a number appended
  QString Type;
  char Symbol;     // landmark symbol character in the symbol font
  uint32_t Colour; // Windows colour value 0x00BBGGRR
  bool Numbered;   // whether the name takes a number
};

// The kinds of public buildings that get a landmark and a reference document.
const std::vector<BuildingKind>& PublicBuildingKinds();

} // namespace demo
