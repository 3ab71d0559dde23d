// The map control's identify tool: every object under a point, and the blink of one of them;
// and the selection set from outside the map (a table window's chosen rows).

#include "FAMap.h"

void TFAMap::SetIdentifyMode() {
  Mode = ModeIdentify;
  SetCursorNumber(0);
}

std::vector<TIdentifiedObject> TFAMap::IdentifyAt(double wx, double wy) {
  // The pick boxes are measured on the screen's canvas, as a pick measures them; nothing is
  // drawn.
  if (!Screen.isNull()) {
    if (!ScreenCanvas) ScreenCanvas = std::make_unique<gfx::Canvas>(Screen);
    return ::IdentifyAt(Layers, *ScreenCanvas, World, wx, wy);
  }
  QImage scratch(1, 1, QImage::Format_RGB32);
  gfx::Canvas canvas(scratch);
  return ::IdentifyAt(Layers, canvas, World, wx, wy);
}

void TFAMap::FlashLayerObject(TCustomLayer& Layer, int RecordIndex) {
  if (RecordIndex < 0 || Screen.isNull()) return;
  if (!ScreenCanvas) ScreenCanvas = std::make_unique<gfx::Canvas>(Screen);
  ScreenCanvas->OnFlush = [this] { ShowScreen(); };
  try {
    Layer.FlashObject(RecordIndex, *ScreenCanvas, World);
  } catch (const std::exception&) {
    // A layer that cannot be read blinks nothing; the list says why.
  }
  ScreenCanvas->OnFlush = nullptr;
  ShowScreen();
}

void TFAMap::SetSelection(std::vector<TSelectedObject> records) {
  Selection.clear();
  for (const TSelectedObject& r : records)
    AddSelection(r);
  if (!Screen.isNull()) Paint();
}

void TFAMap::MarkSelection() {
  if (Selection.empty() || Screen.isNull()) return;
  gfx::Canvas canvas(Screen);
  canvas.BlinkPasses = 1;
  for (const TSelectedObject& s : Selection)
    for (const auto& layer : Layers) {
      if (layer->Category != s.Category || layer->Class != s.Class) continue;
      if (!layer->ScaleAllowsDrawing(World.Scale)) break;
      try {
        layer->FlashObject(s.ObjectIndex, canvas, World);
      } catch (const std::exception&) {
        // An object that cannot be read has no mark; its layer's error is said when drawn.
      }
      break;
    }
}
