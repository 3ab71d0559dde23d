#pragma once
// The marks of chosen objects over a map: each object drawn as its layer's blink draws it, on a
// white sheet of its own (every pixel the blink touches is the object's shape, whatever the
// layer's kind), then shown as an opaque red shape in a bright cyan halo: a clear mark on any
// ground. Used over the screen and over a printed map alike.

#include "MapContent.h"

#include <QImage>
#include <QPoint>
#include <cstdint>
#include <vector>

struct TSelectedObject {
  int16_t Category = 0;
  int32_t Class = 0;
  int32_t ObjectIndex = 0;
  bool operator==(const TSelectedObject&) const = default;
};

struct TSelectionMarks {
  QImage Image; // transparent but for the marks; null when none is in view
  QPoint At;    // where its top left corner goes on the map
};

// The marks of `objects` in a picture of `size` pixels showing `world`'s view, for the layers
// of `content` that draw at the world's scale. An object that cannot be read has no mark.
TSelectionMarks DrawSelectionMarks(const TMapContent& content, const TWorld& world, QSize size,
                                   const std::vector<TSelectedObject>& objects, int haloRadius = 3);

// Draws the marks on a painter whose origin is the map's top left corner.
void PaintSelectionMarks(QPainter& painter, const TSelectionMarks& marks);
