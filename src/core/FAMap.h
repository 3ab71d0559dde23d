#pragma once
// The map control: loads the layers, draws them into an off-screen picture (in steps between the
// window's events), shows it with the selection's marks and the pointer arrow, and hands the
// mouse and the keys to the tool of its mode (tools/). Rubber bands and blinks are drawn on the
// screen picture, which the widget shows; the finished map is kept in BackBuffer so that
// ordinary repaints only copy it. Its files:
//   FAMap.cpp          loading, drawing in steps, previews of a gesture, the arrow
//   FAMapEvents.cpp    the mouse, the wheel and the keys, handed to the tools; the tools' table
//   FAMapObjects.cpp   objects under a point, blinks, the selection, showing objects and records

#include "Cursors.h"
#include "Identify.h"
#include "MapContent.h"
#include "MapEvents.h"
#include "MapMeasuring.h"
#include "PointerArrow.h"
#include "SelectionMarks.h"
#include "StepPicture.h"
#include "tools/MapTool.h"

#include <QImage>
#include <QTimer>
#include <QWidget>
#include <map>
#include <memory>
#include <vector>

class TFAMap : public QWidget {
public:
  // The modes of the program's own tools; a tool added elsewhere brings its own number.
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
  static constexpr uint32_t kBackground = 0x00FFFFFF; // the window background colour

  explicit TFAMap(QWidget* parent = nullptr);
  ~TFAMap() override;

  // --- the layers ---
  void LoadMap(const QString& BaseDir, const QString& MapsDir, const QString& AppDir,
               const QString& RefDir, const QString& RoutesDir);
  void CloseMap();
  void ReloadMap();
  TMapContent Content;
  TWorld& World = Content.World;
  std::vector<std::unique_ptr<TCustomLayer>>& Layers = Content.Layers;
  int ActiveLayer = -1;
  TCustomLayer* ActiveLayerObject() const; // null when none is active

  // --- the pictures and the drawing ---
  // The paint handling: rebuilds BackBuffer when NeedRedraw, else copies it, then shows it; the
  // picture is finished when it returns.
  void Paint();
  // Draws the view as Paint does but one layer at a time between the window's other events, so
  // that the next gesture gives the drawing up at once; until the last layer is drawn the
  // control shows the last finished picture, and after kBuildUpDelay the layers drawn so far.
  void StartDrawing();
  bool DrawingInSteps() const { return Steps.Underway(); }
  static constexpr int kBuildUpDelay = 100; // milliseconds
  // Sets NeedRedraw and paints at once, every layer drawn afresh.
  void Redraw();
  // Paints at once after changes the kept pictures' signatures see (a layer switched on or off,
  // the map loaded again, a layer's new style): the layers below the first changed one are not
  // drawn again.
  void RedrawChanged();
  // During a gesture (a wheel turn) the view changes at once and nothing is read or drawn: the
  // last finished picture is shown scaled and moved to the new view, and the view is drawn when
  // the gesture pauses for kSettleDelay (or at once by Settle, as a click does).
  static constexpr int kSettleDelay = 200; // milliseconds
  void PreviewView(const TExtent& view);
  void Settle();
  void SettleLater(); // the view drawn after kSettleDelay
  bool Previewing() const { return SettleTimer.isActive(); }
  void ShowWholeMap();
  void ShowScreen(); // pushes Screen out at once
  bool NeedRedraw = true;
  QImage BackBuffer;       // the finished map
  QImage Screen;           // what the control shows: the map with rubber bands, blinking, the arrow
  bool BuildingUp = false; // the control shows the layers drawn so far
  // The canvas on Screen (made when missing); with `showFlushes` each flush of it (a blink's
  // step) is shown at once.
  gfx::Canvas& ScreenCanvas(bool showFlushes = false);
  bool HasScreenCanvas() const { return bool(ScreenCanvasOf); }
  void DropScreenCanvas() { ScreenCanvasOf.reset(); }

  // --- the tools ---
  // Adds a tool (serving its mode from now on; a tool of the same mode is replaced).
  void AddTool(std::unique_ptr<TMapTool> tool);
  // Makes `mode` the map's, with its tool's cursor; ModeNone: no tool.
  void SetMode(int mode);
  int Mode = ModeNone;
  TMapGesture Gesture;
  void SetCursorNumber(int number);
  int CursorNumber() const { return CurrentCursor; }
  TMapMeasuring Measuring{*this};

  // --- the objects, the selection and the arrow pointing at one (FAMapObjects.cpp) ---
  // Every object under the map point (wx, wy) at the view as it is (the identify tool's list).
  std::vector<TIdentifiedObject> ObjectsAt(double wx, double wy);
  // Blinks one object of a layer on the screen, as a pick does.
  void FlashLayerObject(TCustomLayer& Layer, int RecordIndex);
  bool LocateLayerObject(int Category, int Class, int ObjectIndex);
  // Moves the view to one record of a layer at a scale at which the layer is drawn, and makes
  // it the selection; false when the record has no place.
  bool ShowLayerRecord(TCustomLayer& Layer, int RecordIndex);
  // The same for several records: the view holds all of them (their boxes with a margin), at a
  // scale at which the layer is drawn; they become the selection. False when none has a place.
  bool ShowLayerRecords(TCustomLayer& Layer, const std::vector<int>& RecordIndexes);
  // The view about the layer's found point at the nearest scale at which the layer is drawn.
  void BringLayerIntoScale(TCustomLayer& Layer);
  std::vector<TSelectedObject> Selection;
  bool IsSelected(const TSelectedObject& record) const;
  void AddToSelection(const TSelectedObject& record); // heard by nobody: the caller tells
  void ClearSelection();
  // Makes these objects the selection (a table window's chosen rows).
  void SetSelection(std::vector<TSelectedObject> records);
  TPointerArrow Arrow{*this};

  // The control's events, raised to the main window after the control's own handling.
  TMapEvents Events;
  // Clears every callback: the owner of the callbacks calls it before its members go.
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
  TMapTool* ActiveTool() const;
  void BeginPicture();
  void DrawStep();
  void FinishDrawing(); // the steps left, drawn now
  void EndPicture();
  void GiveUpDrawing();
  void ShowFinishedPicture();

  std::map<int, std::unique_ptr<TMapTool>> Tools; // by mode
  std::unique_ptr<gfx::Canvas> ScreenCanvasOf;
  TStepPicture Steps{[this] { DrawStep(); }};
  QTimer SettleTimer;
  TExtent DrawnExtent; // the view BackBuffer shows
  bool InDoubleClick = false;
  bool RedrawScheduled = false;
  int CurrentCursor = 0;
};
