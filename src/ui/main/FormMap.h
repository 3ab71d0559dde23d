#pragma once
// The main window: the map control with the tool bar at its left, the pop-out pointing and
// measurements bars, the status bar with the tool's description and the scale, the layer and
// object panels behind a splitter at the right, and the menus. It keeps the tool mode and starts
// the secondary windows. Its handlers live in one file per command group:
//   FormMap.cpp              creation, the tools and their modes, the mouse on the map, the
//                            panels' splitter, "Що тут?", the about and authors boxes, closing
//   FormMapComponents.cpp    building the tool bar, the pop-out bars, the panels and the menus
//   FormMapMeasurements.cpp  distance and area, the measurement files and colour
//   FormMapNetwork.cpp       shut-off, its marks, the network check, EPANET, network settings
//   FormMapPlace.cpp         the atlas's coordinate system, the pointer's coordinates, go to a
//   point FormMapAtlas.cpp         opening another atlas, others' changes, GeoPackage export,
//   printing FormMapUtilities.cpp     search, layer properties, dictionary, symbols, attribute
//   table, the
//                            object index, topology, help and reference pages
// The view commands (history, keys, scale box, overview, bookmarks, the view's export) are
// TMapViewCommands' (MapViewCommands.h).

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
class TFormHtmlBrowser;
class TMapViewCommands;
class QTabWidget;
class QToolButton;
class TDataModuleVANDREL;
class TFormAttributeTable;
class TFormIdentify;
class TFormShutOff;
namespace gis {
class TAtlasPlace;
}
namespace network {
class TNetworkGraph;
struct TShutOff;
class TBuildings;
class TNetworkSettings;
} // namespace network
class TFormSelectInfo;
struct TIdentifiedObject;
class TFormInfoPath;
class TFormMsg;
class TLayerPanels;

class TAtlasWatcher;

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
  QString ReadHtmlViewerPath();

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
  QString HtmlViewerPath;

  // --- Measurements (FormMapMeasurements.cpp) ---

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

  // --- The networks (FormMapNetwork.cpp) ---

  // The network tools: a shut-off at the pipe picked next, and the network check.
  void miShutOffClick();
  void ShutOffAt(double x, double y);
  void miNetworkCheckClick();
  // The valve and connection groups of the atlas (written in work mode 0 only).
  void miNetworkSettingsClick();
  // The water network's graph, read again when its tables changed since.
  std::shared_ptr<const network::TNetworkGraph> WaterNetwork();
  void MarkShutOff(const network::TNetworkGraph& graph, const network::TShutOff& result);
  // The buildings of the atlas for the shut-off, read again when their files changed; null,
  // with `note` saying why, when the settings name none or they cannot be read.
  std::shared_ptr<const network::TBuildings>
  AtlasBuildings(const network::TNetworkSettings& settings, QString& note);
  // Whether the map's marks are still the shut-off's (nothing picked or found since).
  bool ShutOffMarked() const;
  // "Зняти позначки з карти": the shut-off's marks, or any selection, taken off the map.
  void miClearMarksClick();
  // "Експорт мережі в EPANET ...": the water network as a model for the hydraulic solver (with
  // the shut-off on the map applied, if the user wants it), and a window of what was written.
  void miExportEpanetClick();
  bool ExportEpanetTo(const QString& path, bool withShutOff);
  std::unique_ptr<TFormShutOff> ShutOff; // made at the tool's first pick
  std::shared_ptr<const network::TNetworkGraph> WaterGraph;
  QString WaterGraphStamp; // the tables' sizes and times when WaterGraph was read
  std::shared_ptr<const network::TBuildings> Buildings;
  QString BuildingsStamp;
  std::vector<TSelectedObject> ShutOffMarks; // what the last shut-off marked on the map

  // --- The atlas's place on the Earth (FormMapPlace.cpp) ---

  void miAtlasCrsClick();
  // Where the atlas lies on the Earth, read from its declaration (at the start, and after the
  // system is set); a declaration not understood is said.
  void ReadAtlasPlace();
  // "Перейти до координат ...": a point typed in the atlas's system or in degrees, shown with
  // the arrow in the middle of the view.
  void miGoToCoordinatesClick();
  void GoToPoint(double x, double y);
  std::unique_ptr<gis::TAtlasPlace> Place;
  QString LastTypedPlace; // offered again the next time

  // --- The atlas as a whole (FormMapAtlas.cpp) ---

  // "Експорт атласу в GeoPackage ...": the whole atlas, with progress and cancel.
  void miExportGeoPackageClick();
  bool ExportGeoPackageTo(const QString& path, bool withMeasurements = false);
  // "Друк ...": the print window with its preview.
  void imPrintClick();
  // The layers read again from the layers table, the view kept, and the panels with them; drawn
  // again whole, or only the layers whose rows or files changed.
  void ReloadLayers(bool drawEverything);
  // "Мережеві джерела атласу ...": the user's answer for the atlas's sources on the network,
  // shown and changed; the layers read again when it changes.
  void miNetworkSourcesClick();
  // "Відкрити атлас ...": the program opens the atlas chosen in place of this one.
  void imOpenAtlasClick();
  bool OpenAtlas(const QString& dataRoot);
  // Starts the program with these arguments (tests put in their own); empty: a new process.
  std::function<bool(const QString& program, const QStringList& arguments)> Relaunch;
  // Another user's writes to BASE and MAPS: the tables, the map and the panels read again.
  TAtlasWatcher* AtlasWatcher = nullptr;
  // Takes another user's changes in; false (asked again soon) while the user is in the middle of
  // something (a window open over this one, a button held, a measurement being drawn).
  bool TakeOthersChanges();

  // --- The windows over the atlas's content (FormMapUtilities.cpp) ---

  void sbLayersClick();
  void sbStreetsClick();
  void sbAddressClick();
  // The search window's ShowList (table, directory, caption, mode, category, class, group):
  // reached from "Пошук вулиць", "Пошук адрес" and "Список" of both panels.
  using TShowList =
      std::function<void(const QString&, const QString&, const QString&, int, int, int, int)>;
  void SetObjectList(TShowList showList);
  TShowList ShowListWindow;
  void miClassifierClick();
  void ppmiChngSymbolClick();
  // Whether "Змінити знак" of the map applies to the current layer (work mode 0, category 100 on).
  bool ActiveLayerHasOwnSymbol() const;
  // "Таблиця атрибутів" of a class's layer (from the panels' menus).
  void ShowAttributeTable(int category, int cls);
  std::unique_ptr<TFormAttributeTable> AttributeTable; // the one shown last
  void miCalcTopologicalModelClick();
  // Writes the object index's grid tables anew.
  void miRebuildIndexClick();
  // Lets the user choose one of several found objects ("Знайдені об'єкти"): the line or -1.
  int ChooseFoundObject(const QStringList& labels);
  // F1: the program's own help page.
  void imProgramHelpClick();
  // Help and reference pages: in the external viewer when there is one, else in the program's.
  void OpenDocument(const QString& path);
  TFormHtmlBrowser* HtmlBrowser = nullptr;

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
  void InstallAtlasWatcher();
  void BuildMenus();
  void BuildToolBar(QWidget* host);
  void BuildPopOutBars(QWidget* host);
  void BuildPanels(QWidget* host);
  QToolButton* AddButton(QWidget* parent, const QString& name, const QString& hint,
                         const QString& glyph, int x, int y, bool latch,
                         void (TFormMap::*handler)());
  void PressInGroup(QToolButton* button, const QStringList& group);
  void MapMouseDown(QMouseEvent* e);
  void MapMouseUp(QMouseEvent* e);
  void MapDblClick();
  // Tells the map control how to make the object index of each map it loads.
  void InstallObjectIndex();
  // "Змінити знак" of the panels opens the symbol window.
  void InstallSymbolChoice();
  // "Параметры классов" on the layers table's current row.
  void ShowLayersControls();
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
