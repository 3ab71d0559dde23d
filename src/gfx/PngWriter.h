#pragma once
// Pictures of the map written as PNG files: 8-bit RGB, every row filtered by its left
// neighbour (flat colours become runs of zeros) and deflated at a chosen zlib level. The
// general image writer tries every filter on every row, which costs more than drawing a map.

#include <QByteArray>
#include <QImage>
#include <QString>

namespace gfx {

// The PNG file of an opaque `image` (alpha is dropped) at zlib `level` 0 to 9.
QByteArray EncodePng(const QImage& image, int level);
// Writes it to `path` atomically; raises base::FileError naming the file.
void WritePng(const QImage& image, const QString& path, int level);

} // namespace gfx
