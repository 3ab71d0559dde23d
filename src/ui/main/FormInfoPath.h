#pragma once
// The path-length window: the last segment and the total of the distance being measured, on top
// of the other windows while a distance is drawn. Beyond the two values, its context menu copies
// them as text.

#include <QDialog>

class QLabel;

class TFormInfoPath : public QDialog {
public:
  explicit TFormInfoPath(QWidget* parent = nullptr);
  void SetLengths(const QString& segment, const QString& total);
  // "Відрізок: 6.00 м\nЗагальна відстань: 11.00 м"
  QString LengthsText() const;
  void CopyLengths() const;

  QLabel* LabelLineLeng = nullptr;
  QLabel* LabelPathLeng = nullptr;
};
