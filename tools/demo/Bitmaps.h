#pragma once
// Small logos for the images table, drawn as 24-bit Windows bitmaps (BMP files).

#include <QByteArray>
#include <cstdint>

namespace demo {

// A 32 × 32 logo: a coloured badge with a simple emblem of the given kind (0 to 4).
QByteArray DrawLogo(int kind);

} // namespace demo
