#pragma once
// The map as a picture of any size, drawn as the map window draws it, and written to a PNG,
// PDF or other picture file: the window's export and the render tool share it.

#include "MapContent.h"

#include <QImage>
#include <QString>
#include <utility>
#include <vector>

class IMapMeasurements;

struct TMapPictureOptions {
  int Width = 0, Height = 0;
  const IMapMeasurements* Measurements = nullptr; // drawn over the layers when given
  bool ScaleBar = false;                          // in the lower left corner
};

struct TMapPicture {
  QImage Image;
  double ScaleDenominator = 0;
  std::vector<std::pair<QString, QString>> Failures; // layers not drawn: name, reason
};

// Draws `content` at `view` (fitted to the picture as the window fits it) into a new picture;
// the content's own view is left as it was.
TMapPicture DrawMapPicture(TMapContent& content, const TExtent& view,
                           const TMapPictureOptions& options);

// Draws `content` at `view` as `DrawMapPicture` does, as vectors on a PDF page of the picture's
// size at 96 pixels per inch: lines and areas stay lines and areas, text stays text in embedded
// fonts (a PDF reader finds the street names), only the atlas's own pictures (logos) are
// pictures. The file is written whole or not at all; raises base::FileError naming it. The
// picture of the result is empty.
TMapPicture DrawMapPdf(TMapContent& content, const TExtent& view, const TMapPictureOptions& options,
                       const QString& path);

// By the file's extension: ".png" by the program's PNG writer at `pngLevel`, ".pdf" a page of
// the picture's size at 96 dots per inch, anything else as Qt writes it. Raises base::FileError
// naming the file when it cannot be written.
void SaveMapPicture(const QImage& image, const QString& path, int pngLevel = 1);
