#pragma once
// The main window: the map control with the tool bar at its left, the pop-out pointing and
// measurements bars, the status bar with the tool's description and the scale, the layer and
// object panels behind a splitter at the right, and the menus. It keeps the tool mode and
// assembles the command groups, each an object with its handlers, state and windows:
//   FormMap.cpp              creation, the tools and their modes, the mouse on the map, the
//                            panels' splitter, "Що тут?", the about and authors boxes, closing
//   FormMapComponents.cpp    building the tool bar, the pop-out bars, the panels and the menus
//   MeasurementCommands      distance and area, the measurement files and colour
//   NetworkCommands          shut-off, its marks, the network check, EPANET, network settings
//   PlaceCommands            the atlas's coordinate system, the pointer's coordinates, go to a
//                            point
//   AtlasCommands            opening another atlas, others' changes, GeoPackage export, printing
//   ContentCommands          search, layer properties, dictionary, symbols, attribute table, the
//                            object index, topology, help and reference pages
//   MapViewCommands          history, keys, scale box, overview, bookmarks, the view's export

#include "core/FAMap.h"

#include "plugins/ObjectUtils.h"

#include <QMainWindow>
#include <QPointer>
#include <functional>
#include <map>
#include <memory>

class QAction;
class QFrame;
class QLabel;
class QListWidget;
class QMenu;
class TAtlasCommands;
class TContentCommands;
class TMapViewCommands;
class TMeasurementCommands;
class TNetworkCommands;
class TPlaceCommands;
class QTabWidget;
class QToolButton;
class TDataModuleVANDREL;
class TFormIdentify;
class TFormSelectInfo;
struct TIdentifiedObject;
class TFormInfoPath;
class TFormMsg;
class TLayerPanels;

class TFormMap : public QMainWindow, public plugins::IObjectUtilsHost {
public:
  // The program's own caption, after the atlas's name in the title; the printed page's title.
  static constexpr const char* kCaption = "Мережі Vandrel - Kovenor";
  explicit TFormMap(TDataModuleVANDREL& data);
  ~TFormMap() override;

  // --- The window itself, its tools and the mouse on the map (FormMap.cpp) ---

  // "GET_MESSAGE_FROM_OBJECT": a component of the current layer asks for one of its objects to
  // be shown on the map (the object number the layer locates by).
  void ShowObject(int ObjectNumber) override;

  // Tool handlers, named as the buttons they serve.
  void sbArrowClick();
  void sbShowPathPnlClick();
  void sbInfoClick();
  void sbEditObjectClick();
  // "Що тут?": the tool that lists every object under the point clicked.
  void sbIdentifyClick();
  // The identify window lists every object at the point clicked.
  void ShowObjectsAt(double x, double y);
  // A double click on an identified object: its card, or its information window.
  void OpenIdentified(const TIdentifiedObject& o);
  std::unique_ptr<TFormIdentify> Identify; // made at the tool's first click
  void sbZoomInClick();
  void sbZoomOutClick();
  void sbPanClick();
  void sbGlobeClick();
  void imHelpClick();
  void imToolBarClick();
  void imLayersPanelClick();
  void imExitClick();
  void imAboutClick();
  void miAuthorsClick();
  void ppmiInfoPlusClick();
  // Opens the reference document of an object (category < 0: the last picked object).
  void ShowObjectInfoFile(int category, int cls, int record);

  void SetToolMode(uint8_t mode);
  void ToggleToolPanel(int k);
  // "1 : N" with N the scale denominator rounded half to even.
  static QString ScaleCaption(double denominator);

  // The confirmation window, created by the program after this window.
  void SetFormMsg(TFormMsg* msg) { FormMsg = msg; }
  TFormMsg* FormMsg = nullptr;
  TFormInfoPath* FormInfoPath = nullptr; // the path-length window, owned by this window
  // The object information window, created by the program after this window.
  void SetSelectInfo(TFormSelectInfo* info) { SelectInfo = info; }
  TFormSelectInfo* SelectInfo = nullptr;
  // History, keys, scale box, overview, bookmarks and export of the view.
  TMapViewCommands* ViewCommands = nullptr;

  TFAMap* Map = nullptr;
  uint8_t ToolMode = 0;
  uint8_t PreviousToolMode = 0;

  // --- The command groups, each an object of its own (a child of this window) ---
  TMeasurementCommands* MeasurementCommands = nullptr;
  TNetworkCommands* NetworkCommands = nullptr;
  TPlaceCommands* PlaceCommands = nullptr;
  TAtlasCommands* AtlasCommands = nullptr;
  TContentCommands* ContentCommands = nullptr;

  // --- Components by their names, for the other windows and for the tests (FormMapComponents.cpp)
  QToolButton* Button(const QString& name) const;
  QAction* Action(const QString& name) const;
  QFrame* pnlInfo = nullptr;
  QFrame* pnlDist = nullptr;
  QFrame* pnlTools = nullptr;
  QFrame* pnlLayers = nullptr;
  QFrame* pnlSplit = nullptr;
  QLabel* pnlMode = nullptr;
  QLabel* LabelScale = nullptr;
  QLabel* LabelPointer = nullptr; // the atlas's coordinates under the pointer, and degrees
  QTabWidget* pgctlLayers = nullptr;
  QListWidget* lboxLayers = nullptr;
  QListWidget* lboxObjects = nullptr;
  TLayerPanels* Panels = nullptr; // the two lists' drawing, clicks and menus (owned by the list)
  QMenu* ppmnMap = nullptr;
  QFrame* pnlDistColor = nullptr;

protected:
  void closeEvent(QCloseEvent* e) override;
  void resizeEvent(QResizeEvent* e) override;
  void showEvent(QShowEvent* e) override;
  bool eventFilter(QObject* watched, QEvent* e) override;

private:
  void BuildMenus();
  void BuildToolBar(QWidget* host);
  void BuildPopOutBars(QWidget* host);
  void BuildPanels(QWidget* host);
  QToolButton* AddButton(QWidget* parent, const QString& name, const QString& hint,
                         const QString& glyph, int x, int y, bool latch,
                         std::function<void()> handler);
  void PressInGroup(QToolButton* button, const QStringList& group);
  void MapMouseDown(QMouseEvent* e);
  void MapMouseUp(QMouseEvent* e);
  void MapDblClick();
  void MapPaint();
  // Sets the panels' width, keeping it between 60 pixels and what leaves the map 100.
  void SetPanelWidth(int width);

  TDataModuleVANDREL& Data;
  std::map<QString, QToolButton*> Buttons;
  std::map<QString, QAction*> Actions;
  bool SplitDragging = false;
  int SplitStartX = 0;     // the pointer's screen X at the press
  int SplitStartWidth = 0; // the panel's width at the press
  QCursor SavedCursor;
  bool PanCursorSaved = false; // SavedCursor holds the cursor of a pan in progress
};
