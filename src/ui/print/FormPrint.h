#pragma once
// "Друк": the map printed at a scale on paper, with a live preview of the page: printer or PDF
// file, paper and orientation, the scale (1 : 500 to 1 : 5,000, a typed one, or the current
// view fitted), the centre (the view's, or dragged in the preview), the title, and the legend,
// scale bar and north arrow. The map's marked objects are marked on paper too, and a list the
// caller offers (a shut-off's valves and addresses) may be printed on a page after the map.

#include "core/MapPrintLayout.h"

#include <QDialog>
#include <vector>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class TFAMap;

class TFormPrint : public QDialog {
public:
  TFormPrint(TFAMap& map, std::vector<const TClassObject*> legend, const QString& title,
             QWidget* parent = nullptr);

  // Offers a page of text after the map (ticked at first).
  void OfferListPage(const QString& what, const QString& html);
  // The settings as the window's controls give them.
  TPrintSettings Settings() const;
  // Draws the preview again.
  void UpdatePreview();
  // Writes the page as a PDF file (whole or not at all); false, said, when it cannot.
  bool SavePdf(const QString& path);

  QComboBox *cbDevice = nullptr, *cbPaper = nullptr, *cbOrientation = nullptr, *cbScale = nullptr;
  QLineEdit* edTitle = nullptr;
  QCheckBox *chkLegend = nullptr, *chkScaleBar = nullptr, *chkNorth = nullptr, *chkSheets = nullptr,
            *chkListPage = nullptr;
  QLabel* lblSheets = nullptr;
  QLabel* lblPreview = nullptr;
  QPushButton* btnPrint = nullptr;
  double CentreX = 0, CentreY = 0;

protected:
  bool eventFilter(QObject* watched, QEvent* e) override;

private:
  void Print();
  TFAMap& Map;
  std::vector<const TClassObject*> Legend;
  QString ListPageHtml;
  double PreviewFactor = 0.5; // preview pixels per page pixel (96 per inch)
  QPoint DragFrom;
  bool Dragging = false;
};
