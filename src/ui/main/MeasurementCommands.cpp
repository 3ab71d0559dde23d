// The main window's measurement commands: distance and area tools, deleting, the measurement
// files and the colour of new measurements.

#include "MeasurementCommands.h"
#include "FormMap.h"

#include "base/UserMessages.h"
#include "data/DataModule.h"
#include "gfx/Canvas.h"

#include <QColorDialog>
#include <QFileDialog>
#include <QFileInfo>
#include <QFrame>

void TMeasurementCommands::sbAddPathClick() {
  Form.ToggleToolPanel(0);
  Form.SetToolMode(7);
  Map->Measuring.Start(MeasureColor, 0);
}

void TMeasurementCommands::sbAddSClick() {
  Form.ToggleToolPanel(0);
  Form.SetToolMode(30);
  Map->Measuring.Start(MeasureColor, 1);
}

void TMeasurementCommands::sbDelPathClick() {
  Form.ToggleToolPanel(0);
  Form.SetToolMode(8);
  Map->SetCursorNumber(1111);
  Map->SetMode(TFAMap::ModeDeleteMeasure);
}

void TMeasurementCommands::sbLoadPathClick() {
  Form.ToggleToolPanel(0);
  if (!MeasurementsMayGo()) return; // the file's measurements replace these
  QFileDialog dialog(&Form, QString::fromUtf8("Завантажити виміри ..."), MeasurementsFolder(),
                     QString::fromUtf8("Файли вимірів (*.pth)"));
  dialog.setDefaultSuffix("pth");
  dialog.setFileMode(QFileDialog::ExistingFile);
  if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
    LoadMeasurementsFrom(dialog.selectedFiles().first());
}

QString TMeasurementCommands::MeasurementsFolder() const {
  // The SAVE folder beside the program; without it the program's folder, and no file name
  // proposed (a folder that is missing would come up as the name).
  const QString save = Data.AppDir + "/SAVE";
  return QFileInfo(save).isDir() ? save : Data.AppDir;
}

void TMeasurementCommands::sbSavePathClick() {
  Form.ToggleToolPanel(0);
  SaveMeasurementsAs();
}

bool TMeasurementCommands::SaveMeasurementsAs() {
  QFileDialog dialog(&Form, QString::fromUtf8("Зберегти виміри ..."), MeasurementsFolder(),
                     QString::fromUtf8("Файли вимірів (*.pth)"));
  dialog.setDefaultSuffix("pth");
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return false;
  return SaveMeasurementsTo(dialog.selectedFiles().first());
}

bool TMeasurementCommands::MeasurementsMayGo() {
  if (!Map->Measuring.Unsaved()) return true;
  using Answer = base::UserMessages::SaveAnswer;
  switch (base::UserMessages::Current().AskToSave(
      QString::fromUtf8("Виміри на карті не збережено. Зберегти їх у файл?"))) {
  case Answer::Save:
    return SaveMeasurementsAs();
  case Answer::Discard:
    Map->Measuring.MarkSaved(); // let go: not asked again on the way out
    return true;
  case Answer::Cancel:
    break;
  }
  return false;
}

void TMeasurementCommands::LoadMeasurementsFrom(const QString& fileName) {
  try {
    Map->Measuring.Load(fileName);
  } catch (const std::exception& e) {
    base::UserMessages::Current().ShowMessage(QString::fromUtf8(e.what()));
  }
}

bool TMeasurementCommands::SaveMeasurementsTo(const QString& fileName) {
  try {
    Map->Measuring.Save(fileName);
    return true;
  } catch (const std::exception& e) {
    base::UserMessages::Current().ShowMessage(QString::fromUtf8(e.what()));
  }
  return false;
}

void TMeasurementCommands::sbErasePathsClick() {
  Form.ToggleToolPanel(0);
  Map->Measuring.Erase();
}

void TMeasurementCommands::SetMeasureColor(uint32_t colour) {
  MeasureColor = colour;
  Form.pnlDistColor->setStyleSheet("background: " + gfx::ToQColor(colour).name());
}

void TMeasurementCommands::pnlDistColorClick() {
  const QColor chosen = QColorDialog::getColor(gfx::ToQColor(MeasureColor), &Form);
  if (chosen.isValid()) SetMeasureColor(gfx::FromQColor(chosen));
}
