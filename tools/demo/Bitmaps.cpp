#include "Bitmaps.h"

#include "base/ByteOrder.h"

#include <cmath>

namespace demo {
namespace {

constexpr int kSize = 32;

struct Rgb {
  uint8_t R, G, B;
};

// BMP: a 14-byte file header ("BM", file size, reserved, offset of the pixels), a 40-byte
// BITMAPINFOHEADER, then rows bottom-up, each padded to four bytes (32 × 3 = 96 needs none).
QByteArray Encode(const Rgb (&pixels)[kSize][kSize]) {
  const int rowBytes = kSize * 3;
  const int size = 54 + rowBytes * kSize;
  QByteArray bmp(size, '\0');
  char* p = bmp.data();
  p[0] = 'B';
  p[1] = 'M';
  base::PutU32LE(p + 2, uint32_t(size));
  base::PutU32LE(p + 10, 54);
  base::PutU32LE(p + 14, 40);
  base::PutU32LE(p + 18, kSize);
  base::PutU32LE(p + 22, kSize);
  base::PutU16LE(p + 26, 1);
  base::PutU16LE(p + 28, 24);
  base::PutU32LE(p + 34, uint32_t(rowBytes * kSize));
  base::PutU32LE(p + 38, 2835); // 72 dpi
  base::PutU32LE(p + 42, 2835);
  for (int y = 0; y < kSize; ++y)
    for (int x = 0; x < kSize; ++x) {
      const Rgb& c = pixels[kSize - 1 - y][x];
      char* px = p + 54 + y * rowBytes + x * 3;
      px[0] = char(c.B);
      px[1] = char(c.G);
      px[2] = char(c.R);
    }
  return bmp;
}

bool Emblem(int kind, int x, int y) {
  const int dx = x - 16, dy = y - 16;
  switch (kind) {
  case 1:
    return (std::abs(dx) < 9 && std::abs(dy) < 3) ||
           (std::abs(dy) < 9 && std::abs(dx) < 3); // pump: a cross
  case 2:
    return std::abs(dx) < 4 && dy > -10 && dy < 10; // hydrant: a post
  case 3:
    return dx * dx + dy * dy < 64 && dx * dx + dy * dy > 25; // well: a ring
  case 4:
    return std::abs(dx) == std::abs(dy) && std::abs(dx) < 9; // valve: an X
  default:
    return std::abs(dx) < 6 && std::abs(dy) < 6; // a square
  }
}

} // namespace

QByteArray DrawLogo(int kind) {
  static const Rgb badges[5] = {
      {128, 128, 128}, {0, 90, 200}, {220, 30, 30}, {30, 120, 60}, {200, 140, 0}};
  const Rgb badge = badges[std::abs(kind) % 5];
  Rgb pixels[kSize][kSize];
  for (int y = 0; y < kSize; ++y)
    for (int x = 0; x < kSize; ++x) {
      const int dx = x - 16, dy = y - 16;
      const bool inside = dx * dx + dy * dy < 15 * 15;
      if (!inside)
        pixels[y][x] = {255, 255, 255};
      else if (Emblem(kind, x, y))
        pixels[y][x] = {255, 255, 255};
      else
        pixels[y][x] = badge;
    }
  return Encode(pixels);
}

} // namespace demo
