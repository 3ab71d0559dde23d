#pragma once
// "Система координат атласу": the atlas's coordinate system as BASE/ATLAS.INI declares it, typed
// as EPSG:N, a PROJ string or WKT, with the system's name shown as it is checked; saved in work
// mode 0 only. An empty box saves an atlas without a system.

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

class TFormAtlasCrs : public QDialog {
public:
  TFormAtlasCrs(const QString& baseDir, QWidget* parent = nullptr);

  // Writes the declaration; false, with the reason said, when it is not understood or the file
  // cannot be written.
  bool Save();

  QLineEdit* edtCrs = nullptr;
  QLabel* lblName = nullptr;
  QPushButton* btnSave = nullptr;

private:
  void Check();

  QString BaseDir;
};
