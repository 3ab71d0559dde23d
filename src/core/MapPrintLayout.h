#pragma once
// A printed page of the map: the title at the top, the map in a frame at a chosen scale about a
// chosen centre, and below it the legend of the classes drawn (their samples and names), the
// scale bar, a north arrow and the date. Drawn on any paint device (a printer, a PDF page, the
// preview's picture) through a vector canvas of 96 pixels per inch scaled to the device, so
// pens and symbols keep on paper the size they have on the screen.

#include "CatClass.h"
#include "core/SelectionMarks.h"
#include "core/World.h"

#include <QDate>
#include <QPageLayout>
#include <QRectF>
#include <QString>
#include <functional>
#include <utility>
#include <vector>

class QPaintDevice;
class QPagedPaintDevice;
namespace gfx {
class Canvas;
}
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
  // At a fixed scale, the whole `Area` on as many sheets as it takes, overlapping by 10 mm, each
  // with a small index of the sheets; otherwise one sheet about the centre.
  bool Sheets = false;
  TExtent Area;
  // Objects marked over the printed map (the map's selection: a shut-off's dry pipes, valves and
  // buildings), and a page of text printed after the map's sheets (HTML; none when empty).
  std::vector<TSelectedObject> Marks;
  QString ListPageHtml;
};

// One sheet of several: its place in the grid of sheets.
struct TSheet {
  int Column = 0, Row = 0, Columns = 1, Rows = 1;
};

// Where things go on the page, in millimetres from its top left corner, and what the map shows.
struct TPrintLayout {
  QSizeF PageMm;
  QRectF TitleMm, MapMm, FooterMm;
  double Denominator = 0; // the scale used (the fitted one when fitting)
  TExtent View;           // the ground in the map frame
};

TPrintLayout LayOutPage(const TPrintSettings& settings);

// The sheets the settings print: their centres, west to east and north to south (one sheet
// about the settings' centre when they do not ask for several).
struct TSheetPlan {
  int Columns = 1, Rows = 1;
  std::vector<std::pair<double, double>> Centres;
};
TSheetPlan PlanSheets(const TPrintSettings& settings);
static constexpr double kSheetOverlapMm = 10;

// Draws the page on `device` (whose page is the settings' paper; the device's own resolution).
// `legend` are the classes of the layers table in drawing order; those drawn at the page's
// scale are listed. Layers that fail to draw are told to `onError` with their reason.
void DrawPrintPage(QPaintDevice& device, TMapContent& content, const TPrintSettings& settings,
                   const std::vector<const TClassObject*>& legend,
                   const std::function<void(const QString&)>& onError = {});

// Every sheet the settings plan, a page each, on a printer or PDF writer, then the list page.
void DrawPrintPages(QPagedPaintDevice& device, TMapContent& content, const TPrintSettings& settings,
                    const std::vector<const TClassObject*>& legend,
                    const std::function<void(const QString&)>& onError = {});
