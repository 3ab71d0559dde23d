#pragma once
// The main window and the atlas's place on the Earth: its coordinate system ("Система координат
// атласу"), the pointer's coordinates in the status bar (the atlas's and WGS 84 degrees) and
// "Перейти до координат ...".

#include "FormMapGroup.h"

#include <QString>
#include <memory>

namespace gis {
class TAtlasPlace;
}

class TPlaceCommands : public TFormMapGroup {
public:
  TPlaceCommands(TFormMap& form, TDataModuleVANDREL& data);
  ~TPlaceCommands() override;

  void miAtlasCrsClick();
  // Where the atlas lies on the Earth, read from its declaration (at the start, and after the
  // system is set); a declaration not understood is said.
  void ReadAtlasPlace();
  // "Перейти до координат ...": a point typed in the atlas's system or in degrees, shown with
  // the arrow in the middle of the view.
  void miGoToCoordinatesClick();
  void GoToPoint(double x, double y);
  // The point as the status bar shows it: the atlas's coordinates, and degrees where known.
  QString Describe(double x, double y) const;
  std::unique_ptr<gis::TAtlasPlace> Place;

private:
  QString LastTypedPlace; // offered again the next time
};
