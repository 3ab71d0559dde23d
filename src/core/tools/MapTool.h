#pragma once
// A tool of the map control: what the mouse and the keys do on the map while the tool's mode is
// the map's. The control keeps the view, the pictures and the drawing; it tracks the gesture
// (TMapGesture) and hands each event to the tool of its mode, which acts through the control's
// public commands. Every tool lives in this folder; a new one is one class here and one
// TFAMap::AddTool line.

#include <QString>
#include <cstdint>

class QKeyEvent;
class QPainter;
class TFAMap;

// The left button's gesture as the map control follows it for its tools: where it went down,
// where the last drawn rubber band ended, and what the last release was.
struct TMapGesture {
  bool ButtonDown = false;
  bool Dragged = false; // moved more than a few pixels since the press
  bool Clicked = false; // the last release was a click inside the control
  bool DoubleClicked = false;
  int StartX = 0, StartY = 0;
  int LastX = 0, LastY = 0;
  // The button went down at (x, y).
  void Begin(int x, int y) {
    ButtonDown = true;
    Dragged = false;
    StartX = LastX = x;
    StartY = LastY = y;
  }
};

class TMapTool {
public:
  explicit TMapTool(TFAMap& map) : Map(map) {}
  virtual ~TMapTool() = default;
  TMapTool(const TMapTool&) = delete;
  TMapTool& operator=(const TMapTool&) = delete;

  // The map's mode number this tool serves (TFAMap::ToolMode, or a number of one's own).
  virtual int Mode() const = 0;
  // The cursor number the map takes with the tool; kKeepCursor leaves the cursor as it is.
  static constexpr int kKeepCursor = -1;
  virtual int Cursor() const { return 0; }
  // Whether a press goes on from the preview or the drawing under way (a pan continues the
  // gesture before it) instead of finishing the view first.
  virtual bool ContinuesPreview() const { return false; }

  // The left button, in the control's pixels; the gesture is already updated.
  virtual void Press(int /*x*/, int /*y*/) {}
  virtual void Move(int /*x*/, int /*y*/) {}
  virtual void Release(int /*x*/, int /*y*/) {}
  // A key while the tool is active; true when the tool used it.
  virtual bool Key(QKeyEvent& /*e*/) { return false; }
  // Escape while the button is held: what the gesture showed is taken back, nothing is done.
  virtual void Abandon() {}
  // Over the picture the control shows, after the map, the selection and the arrow.
  virtual void Paint(QPainter& /*onScreen*/) {}
  // The pointer left or entered the control.
  virtual void Leave() {}
  virtual void Enter() {}

protected:
  TFAMap& Map;
};
