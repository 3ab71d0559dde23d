#pragma once
// A layer drawn by several threads at once. The objects the layer draws, in file order, are cut
// into runs (World.Part); the first run is drawn on the picture itself, each other run on a
// transparent surface of the picture's size, and the surfaces are laid over the picture in run
// order. A run's canvas is made, used and ended on the thread that draws the run: Qt's fonts keep
// their engines in caches of the thread that made them, so a canvas must not pass between threads.
// Every surface has the picture's size, so lines are clipped and filled exactly as on the picture;
// the drawing is without anti-aliasing, so a pixel is either drawn or left, and later objects cover
// earlier ones as when one thread draws them all. The canvas state after the layer is the one its
// last object left, taken from the run that drew it.

#include "World.h"

#include "gfx/Canvas.h"

#include <QImage>
#include <QString>
#include <optional>
#include <vector>

class TCustomLayer;

class TParallelDrawing {
public:
  // Runs for `Threads` threads (0: as many as the machine runs at once); one run draws alone.
  // `Spare` keeps the surfaces from one picture to the next (they are transparent again after
  // every layer), so that a repaint neither allocates nor clears them.
  TParallelDrawing(gfx::Canvas& Whole, int Threads, std::vector<QImage>* Spare = nullptr);
  ~TParallelDrawing();
  TParallelDrawing(const TParallelDrawing&) = delete;
  TParallelDrawing& operator=(const TParallelDrawing&) = delete;

  int Runs() const { return RunCount; }
  // Whether `Layer` is drawn in runs at this view (it may not be, or cannot say).
  bool Shares(TCustomLayer& Layer, TWorld& World) const;
  // Draws `Layer` in every run; the reason the drawing failed, if it did.
  std::optional<QString> DrawLayer(TCustomLayer& Layer, const TWorld& World);

private:
  struct Run {
    QImage Surface;         // transparent, the picture's size; empty for the first run
    gfx::CanvasState State; // at the start of the layer, then as the run left it
    TWorld World;
    std::optional<QString> Failure;
  };
  static void DrawRun(Run& run, gfx::Canvas& canvas, TCustomLayer& layer);
  // Draws a run on its own surface, with a canvas of this thread's own.
  void DrawRunOnSurface(Run& run, TCustomLayer& layer) const;
  // Copies the drawn pixels of `surface` onto the picture and clears them.
  void LayOver(QImage& surface);
  gfx::Canvas& Whole;
  std::vector<QImage>* Spare;
  int RunCount = 1;
  std::vector<Run> AllRuns;
};
