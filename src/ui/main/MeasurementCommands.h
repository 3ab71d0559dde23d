#pragma once
// The main window's measurement commands: distance and area tools, deleting, the measurement
// files and the colour of new measurements.

#include "FormMapGroup.h"

#include <QString>
#include <cstdint>

class TMeasurementCommands : public TFormMapGroup {
public:
  using TFormMapGroup::TFormMapGroup;

  void sbAddPathClick();
  void sbAddSClick();
  void sbDelPathClick();
  void sbLoadPathClick();
  void sbSavePathClick();
  void sbErasePathsClick();
  void pnlDistColorClick();
  // Where the measurement files' dialogs open.
  QString MeasurementsFolder() const;
  // What the file dialogs' OK does; a failure is shown with the file and the reason.
  void LoadMeasurementsFrom(const QString& fileName);
  // Whether the writing succeeded (a failure is said).
  bool SaveMeasurementsTo(const QString& fileName);
  // Asks for a file and saves the measurements there; false when cancelled or failed.
  bool SaveMeasurementsAs();
  // Before the measurements would go (another atlas, closing): unsaved ones are saved or let go
  // as the user answers; false when the user stays.
  bool MeasurementsMayGo();
  // The colour of new measurements (0x00BBGGRR), shown by pnlDistColor.
  void SetMeasureColor(uint32_t colour);
  uint32_t MeasureColor = 0x00FF0000;
};
