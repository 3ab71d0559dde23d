#pragma once
// A printed page of the map: the title at the top, the map in a frame at a chosen scale about a
// chosen centre, and below it the legend of the classes drawn (their samples and names), the
// scale bar, a north arrow and the date. Drawn on any paint device (a printer, a PDF page, the
// preview's picture) through a vector canvas of 96 pixels per inch scaled to the device, so
// pens and symbols keep on paper the size they have on the screen.

#include "CatClass.h"
#include "core/World.h"

#include <QDate>
#include <QPageLayout>
#include <QRectF>
#include <QString>
#include <vector>

class QPaintDevice;
class TMapContent;

struct TPrintSettings {
  QPageSize Page = QPageSize(QPageSize::A4);
  QPageLayout::Orientation Orientation = QPageLayout::Portrait;
  double Denominator = 2000; // the scale 1 : N; 0 fits the view `FitView` into the frame
  TExtent FitView;           // the view to fit when Denominator is 0
  double CentreX = 0, CentreY = 0;
  QString Title;
  QDate Date = QDate::currentDate();
  bool Legend = true, ScaleBar = true, NorthArrow = true;
};

// Where things go on the page, in millimetres from its top left corner, and what the map shows.
struct TPrintLayout {
  QSizeF PageMm;
  QRectF TitleMm, MapMm, FooterMm;
  double Denominator = 0; // the scale used (the fitted one when fitting)
  TExtent View;           // the ground in the map frame
};

TPrintLayout LayOutPage(const TPrintSettings& settings);

// Draws the page on `device` (whose page is the settings' paper; the device's own resolution).
// `legend` are the classes of the layers table in drawing order; those drawn at the page's
// scale are listed. Layers that fail to draw are told to `onError` with their reason.
void DrawPrintPage(QPaintDevice& device, TMapContent& content, const TPrintSettings& settings,
                   const std::vector<const TClassObject*>& legend,
                   const std::function<void(const QString&)>& onError = {});
