#pragma once
// The map control: loads the layers, paints them through an off-screen picture, and turns the
// mouse into zooming, panning and picking objects according to the tool mode the main window
// sets. Rubber bands, blinking and the pointer arrow are drawn on the screen picture, which the
// widget shows; the finished map is kept in BackBuffer so that ordinary repaints only copy it.

#include "Identify.h"
#include "MapArrow.h"
#include "MapContent.h"
#include "MapMeasurements.h"
#include "MapObjectIndex.h"
#include "SelectionMarks.h"

#include <QCursor>
#include <QElapsedTimer>
#include <QImage>
#include <QTimer>
#include <QWidget>

class QPainter;
#include <functional>
#include <map>
#include <memory>
#include <vector>

// The program's cursors by number, as the main window and the map control register them.
class TCursors {
public:
  static void Register(int number, const QCursor& cursor);
  static QCursor Get(int number); // the standard arrow for unknown numbers
  // A cursor of the program's resources (":/cursors/NAME.xpm", its hot spot in the middle), or
  // `fallback` where the resources are not linked.
  static QCursor FromResource(const QString& name, Qt::CursorShape fallback);
};

class TFAMap : public QWidget {
public:
  enum ToolMode {
    ModeNone = -100,
    ModeInfo = 111,
    ModeZoomIn = 112,
    ModeZoomOut = 113,
    ModePan = 114,
    ModeMeasure = 118,
    ModeDeleteMeasure = 122,
    ModeEdit = 123,
    ModeIdentify = 124, // "Що тут?": a click lists every object under the pointer
    ModeShutOff = 125, // "Відключення ділянки": a click picks the pipe to shut off
  };

  // While measuring with the pointer outside the control: how often its place is looked at.
  static constexpr int kOutsideInterval = 400;        // milliseconds
  static constexpr uint32_t kBackground = 0x00FFFFFF; // the window background colour

  explicit TFAMap(QWidget* parent = nullptr);
  ~TFAMap() override;

  void LoadMap(const QString& BaseDir, const QString& MapsDir, const QString& AppDir,
               const QString& RefDir, const QString& RoutesDir);
  void CloseMap();
  void ReloadMap();
  // The map's paint handling: rebuilds BackBuffer when NeedRedraw, else copies it, then shows it;
  // the picture is finished when it returns.
  void Paint();
  // Draws the view as Paint does but one layer at a time between the window's other events, so
  // that the next gesture gives the drawing up at once (PreviewView, and Paint itself); until the
  // last layer is drawn the control shows the last finished picture, and after kBuildUpDelay the
  // layers drawn so far.
  void StartDrawing();
  bool DrawingInSteps() const { return bool(StepsCanvas); }
  static constexpr int kBuildUpDelay = 100; // milliseconds
  // Sets NeedRedraw and paints at once, every layer drawn afresh.
  void Redraw();
  // Paints at once after changes the kept pictures' signatures see (a layer switched on or
  // off, the map loaded again after another program's write or a layer's new style): the
  // layers below the first changed one are not drawn again.
  void RedrawChanged();
  // During a gesture (a wheel turn) the view changes at once and nothing is read or drawn: the
  // last finished picture is shown scaled and moved to the new view, and the view is drawn when
  // the gesture pauses for kSettleDelay (or at once by Settle, as a click does).
  static constexpr int kSettleDelay = 200; // milliseconds
  void PreviewView(const TExtent& view);
  // Finishes now a view whose drawing waits for the gesture to pause or is under way in steps;
  // nothing when none waits.
  void Settle();
  bool Previewing() const { return SettleTimer.isActive(); }

  void SetInfoMode();
  void SetEditMode();
  void SetIdentifyMode();
  // Every object under the map point (wx, wy) at the view as it is (the identify tool's list).
  std::vector<TIdentifiedObject> ObjectsAt(double wx, double wy);
  // Blinks one object of a layer on the screen, as a pick does.
  void FlashLayerObject(TCustomLayer& Layer, int RecordIndex);
  void SetZoomInMode();
  void SetZoomOutMode();
  void SetPanMode();
  void SetDeleteMeasureMode();
  void StartMeasure(uint32_t Color, int Kind);
  void ShowWholeMap();
  bool LocateLayerObject(int Category, int Class, int ObjectIndex);
  // Moves the view to one record of a layer at a scale at which the layer is drawn, and makes
  // it the selection; false when the record has no place.
  bool ShowLayerRecord(TCustomLayer& Layer, int RecordIndex);
  // The same for several records: the view holds all of them (their boxes with a margin), at a
  // scale at which the layer is drawn; they become the selection. False when none has a place.
  bool ShowLayerRecords(TCustomLayer& Layer, const std::vector<int>& RecordIndexes);
  // The view about the layer's found point at the nearest scale at which the layer is drawn.
  void BringLayerIntoScale(TCustomLayer& Layer);
  bool IsSelected(const TSelectedObject& record) const;
  void ClearSelection();
  // Makes these objects the selection (a table window's chosen rows).
  void SetSelection(std::vector<TSelectedObject> records);
  // Marks every selected object on the screen (over the finished map, never into it), as its
  // layer's blink marks it, where its layer is drawn.
  void MarkSelection();
  void HideArrow();
  void ShowArrow(double X, double Y);
  void SetLayerObjectImage(int Category, int Class, int ObjectNumber, int ImageIndex);
  int GetLayerObjectImage(int Category, int Class, int ObjectNumber);
  void SetCursorNumber(int number);
  // The pointer arrow drawn over the map (owned by the control).
  void SetArrow(std::unique_ptr<IMapArrow> arrow);
  // How the object index of each loaded map is made (set by the main window; none: indexed
  // layers find nothing).
  TMapObjectIndexFactory ObjectIndexFactory;
  IMapObjectIndex* ObjectIndex() const { return ObjectIndexOfMap.get(); }
  // The measurement overlay drawn above the layers (owned by the control).
  void SetMeasurements(std::unique_ptr<IMapMeasurements> measurements);
  IMapMeasurements* Measurements() const { return MeasurementLayer.get(); }
  void LoadMeasurements(const QString& FileName);
  void SaveMeasurements(const QString& FileName);
  void EraseMeasurements();
  // Whether the measurements differ from what was last saved or loaded (or, before either, from
  // none); MarkMeasurementsSaved takes them as they are now.
  bool MeasurementsUnsaved() const;
  void MarkMeasurementsSaved();
  bool ArrowShown() const { return ArrowVisible; }
  double ArrowWorldX() const { return ArrowX; }
  double ArrowWorldY() const { return ArrowY; }
  int CursorNumber() const { return CurrentCursor; }

  // Public state the main window reads and writes.
  TMapContent Content;
  TWorld& World = Content.World;
  std::vector<std::unique_ptr<TCustomLayer>>& Layers = Content.Layers;
  std::vector<TSelectedObject> Selection;
  int ActiveLayer = -1;
  int Mode = ModeNone;
  bool NeedRedraw = true;
  QImage BackBuffer;       // the finished map
  QImage Screen;           // what the control shows: the map with rubber bands, blinking, the arrow
  bool BuildingUp = false; // the control shows the layers drawn so far (InProgress)

  // The control's events, raised to the main window after the control's own handling.
  std::function<void()> OnPaint;
  std::function<void(QMouseEvent*)> OnMouseDown, OnMouseMove, OnMouseUp;
  std::function<void()> OnDblClick;
  // A layer that cannot be drawn (a broken geometry file): its index and the reason.
  std::function<void(int, const QString&)> OnLayerError;
  // Called before the layers are destroyed to be built again: what holds a layer lets it go.
  std::function<void()> OnLayersGone;

  // The path-length window: its two texts ("6.00 м"), and whether it is shown.
  std::function<void(const QString&, const QString&)> OnPathLengths;
  std::function<void(bool)> OnShowPathLengths;
  // Asks the user to confirm deleting a measurement; true for OK.
  std::function<bool(const QString&)> OnConfirmDelete;
  // The measurement being drawn was given up with Escape.
  std::function<void()> OnMeasureAbandoned;
  // The world point under the pointer, for the status bar.
  std::function<void(double, double)> OnPointerMoved;
  // A click of the identify tool at the map point (x, y).
  std::function<void(double, double)> OnIdentify;
  // A click of the shut-off tool at the map point (x, y).
  std::function<void(double, double)> OnShutOffAt;
  // The selection changed (a pick, Escape, an object found, one set from outside).
  std::function<void()> OnSelectionChanged;
  // Paints over the finished map on the screen (the scale bar); not part of BackBuffer.
  std::function<void(QPainter&)> OnPaintOverlay;
  // Clears every callback above: the owner of the callbacks calls it before its members go.
  void LetGoOfCallbacks();

protected:
  void paintEvent(QPaintEvent*) override;
  void resizeEvent(QResizeEvent*) override;
  void mousePressEvent(QMouseEvent* e) override;
  void mouseMoveEvent(QMouseEvent* e) override;
  void mouseReleaseEvent(QMouseEvent* e) override;
  void mouseDoubleClickEvent(QMouseEvent* e) override;
  void wheelEvent(QWheelEvent* e) override;
  void keyPressEvent(QKeyEvent* e) override;
  void leaveEvent(QEvent* e) override;
  void enterEvent(QEnterEvent* e) override;

private:
  void Press(int x, int y);
  void Release(int x, int y);
  void Click();
  void PrepareRubberBand(uint32_t colour);
  void RubberBand(int x1, int y1, int x2, int y2);
  void EndRubberBand();
  void PickObject(int x, int y, bool edit);
  void AddSelection(const TSelectedObject& record);
  void SelectFound(const TCustomLayer& Layer, int RecordIndex);
  // Marks on the screen the pixels of `sheet` that are not white (the selection's shapes): a
  // halo, then the shapes in red.
  // A zoom box without width or height gets the missing side in the control's proportions.
  void GiveBoxBothDimensions(TExtent& box) const;
  void ShowScreen(); // pushes Screen out at once
  void ZoomBy(int x, int y, double factor);

  std::unique_ptr<gfx::Canvas> ScreenCanvas;
  std::unique_ptr<IMapArrow> Arrow;
  std::unique_ptr<IMapMeasurements> MeasurementLayer;
  QByteArray SavedMeasurements; // their file text when last saved or loaded
  std::unique_ptr<IMapObjectIndex> ObjectIndexOfMap;
  // Picks through the object index in an indexed layer.
  void PickIndexedObject(TCustomLayer& layer, double wx, double wy, bool edit);
  void ShowPathLengths();
  void MeasureMove(int x, int y);
  void DeleteMeasurementAt(double wx, double wy);
  QImage PanSnapshot;
  QTimer SettleTimer;
  // The drawing under way: its picture, the canvas on it, the next step, since when it runs.
  QImage InProgress;
  std::unique_ptr<gfx::Canvas> StepsCanvas;
  QTimer StepTimer;
  QElapsedTimer StepsClock;
  bool StepsShowProgress = false; // repaint() (a drawing that holds the thread), else update()
  void BeginPicture();
  void DrawStep();
  void FinishDrawing(); // the steps left, drawn now
  void EndPicture();
  void GiveUpDrawing();
  void ShowFinishedPicture();
  TExtent DrawnExtent; // the view BackBuffer shows
  QRect PanSourceRect, PanDestRect;
  int PanAnchorX = 0, PanAnchorY = 0;
  bool MouseIsDown = false;
  bool Dragged = false;
  bool Clicked = false, DoubleClicked = false;
  int StartX = 0, StartY = 0, LastX = 0, LastY = 0;
  int SavedPenStyle = 0;
  bool RubberBandShown = false;
  double ArrowX = 0, ArrowY = 0;
  bool ArrowVisible = false;
  int IndexCategory = 0, IndexClass = 0, FoundNumber = -1;
  bool MouseLeft = false;
  QTimer OutsideTimer;
  void FeedPointerOutside();
  bool InDoubleClick = false;
  bool RedrawScheduled = false;
  int CurrentCursor = 0;
  std::map<int, bool> ReportedLayers; // layers whose failure was already reported
};
