// The main window and the atlas's place on the Earth: its coordinate system ("Система координат
// атласу"), the pointer's coordinates in the status bar (the atlas's and WGS 84 degrees) and
// "Перейти до координат ...".

#include "PlaceCommands.h"
#include "AtlasCommands.h"
#include "FormAtlasCrs.h"
#include "FormMap.h"

#include "base/UserMessages.h"
#include "data/DataModule.h"
#include "gis/AtlasPlace.h"

#include <QInputDialog>
#include <QLabel>

TPlaceCommands::TPlaceCommands(TFormMap& form, TDataModuleVANDREL& data)
    : TFormMapGroup(form, data) {
  ReadAtlasPlace();
}

TPlaceCommands::~TPlaceCommands() = default;

QString TPlaceCommands::Describe(double x, double y) const {
  return Place ? Place->Describe(x, y) : QString("X %1  Y %2").arg(x, 0, 'f', 1).arg(y, 0, 'f', 1);
}

void TPlaceCommands::ReadAtlasPlace() {
  QString problem;
  Place = std::make_unique<gis::TAtlasPlace>(Data.BaseDir, problem);
  // Said, and the atlas works as one without a system.
  if (!problem.isEmpty()) base::UserMessages::Current().ShowMessage(problem);
}

void TPlaceCommands::miGoToCoordinatesClick() {
  const QString hint =
      Place && Place->HasSystem()
          ? QString::fromUtf8("X Y у системі атласу (%1) або широта, довгота в градусах "
                              "(50.4501, 30.5234):")
                .arg(Place->SystemName())
          : QString::fromUtf8("X Y у системі атласу:");
  bool ok = false;
  const QString typed = QInputDialog::getText(&Form, QString::fromUtf8("Перейти до координат"),
                                              hint, QLineEdit::Normal, LastTypedPlace, &ok);
  if (!ok || typed.trimmed().isEmpty()) return;
  LastTypedPlace = typed.trimmed();
  QString problem;
  const auto point = Place ? Place->Parse(typed, Map->World.FullExtent, problem) : std::nullopt;
  if (!point) {
    base::UserMessages::Current().ShowMessage(problem);
    return;
  }
  GoToPoint(point->first, point->second);
  // Near the atlas but off its objects: gone there, and said, so that an empty map is no riddle.
  const TExtent& all = Map->World.FullExtent;
  if (point->first < all.XMin || point->first > all.XMax || point->second < all.YMin ||
      point->second > all.YMax)
    Form.pnlMode->setText(QString::fromUtf8("Точка поза межами об'єктів атласу"));
}

void TPlaceCommands::GoToPoint(double x, double y) {
  // The view keeps its scale and takes the point to its middle.
  TExtent& v = Map->World.ViewExtent;
  const double cx = (v.XMin + v.XMax) / 2, cy = (v.YMin + v.YMax) / 2;
  v = {v.XMin + x - cx, v.YMin + y - cy, v.XMax + x - cx, v.YMax + y - cy};
  Map->Redraw();
  Map->Arrow.Show(x, y);
  Form.LabelPointer->setText(Describe(x, y));
}

void TPlaceCommands::miAtlasCrsClick() {
  if (Data.WorkMode != 0) return; // the atlas's settings change in work mode 0 only
  TFormAtlasCrs window(Data.BaseDir, &Form);
  if (window.exec() != QDialog::Accepted) return;
  ReadAtlasPlace();
  // The layers are read again in the new system: those left out for want of one come in, the
  // sources in other systems are placed anew.
  Form.AtlasCommands->ReloadLayers(true);
}
