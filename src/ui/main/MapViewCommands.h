#pragma once
// The main window's view commands beyond the map's own tools: the view history ("Попередній
// вид", "Наступний вид", Alt+Left and Alt+Right, the mouse's back and forward buttons), the
// keys on the map (+ and − zoom about the centre, the arrows pan by a quarter of the view,
// Home shows the whole map), the scale bar over the map, the scale box of the status bar, the
// overview panel, the bookmarks of views and the export of the view to a picture.

#include "Bookmarks.h"
#include "ViewHistory.h"

#include <QObject>
#include <QSize>
#include <functional>
#include <memory>

class QAction;
class QLineEdit;
class QMenu;
class QToolButton;
class TFormMap;
class TOverviewPanel;
class TDataModuleVANDREL;

class TMapViewCommands : public QObject {
public:
  TMapViewCommands(TFormMap& form, TDataModuleVANDREL& data);
  // Gives the map back its own painting handlers; the window deletes the commands first thing
  // in its destructor, while it is still whole.
  ~TMapViewCommands() override;

  void GoBack();
  void GoForward();
  // Zooms about the view's centre by `factor` (below 1 comes closer).
  void ZoomAboutCentre(double factor);
  // Pans by the given fractions of the view's width and height (east and north positive).
  void PanBy(double dx, double dy);
  // Shows the map at scale 1 : `denominator` about the view's centre; false for no number.
  bool ZoomToScale(double denominator);
  // The scale box shows the map's scale.
  void ShowMapScale();
  void ShowView(const TExtent& view);
  // Adds the current view as a bookmark; the name as kept, empty when nothing was added.
  QString AddBookmark(const QString& name);
  // Writes the current view at width × height to `path` (".png", ".pdf"); raises
  // base::FileError naming the file.
  void ExportView(const QString& path, int width, int height, bool scaleBar);

  TViewHistory History;
  TBookmarks Bookmarks;
  QAction *ActionBack = nullptr, *ActionForward = nullptr, *ActionExport = nullptr,
          *ActionOverview = nullptr, *ActionAddBookmark = nullptr, *ActionRemoveBookmark = nullptr;
  QToolButton *sbBack = nullptr, *sbForward = nullptr;
  QLineEdit* edtScale = nullptr;
  QMenu* BookmarksMenu = nullptr;
  TOverviewPanel* Overview = nullptr;

protected:
  bool eventFilter(QObject* watched, QEvent* e) override;

private:
  void BuildActions();
  void BuildToolButtons();
  void BuildScaleBox();
  void BuildKeys();
  void FillBookmarksMenu();
  void AskBookmarkName();
  void AskBookmarkToRemove();
  void ExportWithDialog();
  // After every painting of the map: a new view goes into the history, the scale box and the
  // overview follow it.
  void ViewShown();
  void UpdateButtons();

  TFormMap& Form;
  std::function<void()> MapPainted; // the window's own handler of the map's painting
  QSize LastMapSize;
  bool Stepping = false; // the view shown is one of the history's
  QString LastExport;
  QByteArray LayersShown; // which of the map's layers were visible at the last painting
};
