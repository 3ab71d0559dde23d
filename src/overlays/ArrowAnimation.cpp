#include "ArrowAnimation.h"

#include <QPainter>

namespace {

// The frames drawn for this program; a plain arrow where the resources are not linked.
QImage LoadFrame(int n) {
  QImage frame(QString(":/arrow/AN%1.xpm").arg(n));
  if (frame.isNull()) {
    frame = QImage(TArrowAnimation::kSize, TArrowAnimation::kSize, QImage::Format_RGB32);
    frame.fill(Qt::white);
    for (int k = 0; k < 14; ++k)
      for (int t = 0; t < 2; ++t)
        frame.setPixel(std::min(20, k + n + 2 + t), k + n + 2, qRgb(255, 0, 0));
  }
  return frame.convertToFormat(QImage::Format_RGB32);
}

} // namespace

TArrowAnimation::TArrowAnimation() {
  for (int n = 0; n < 4; ++n)
    Frames[size_t(n)] = LoadFrame(n + 1);
  Background = QImage(Frames[0].size(), QImage::Format_RGB32);
  Background.fill(Qt::white);
  Timer.setInterval(kInterval);
  QObject::connect(&Timer, &QTimer::timeout, [this] { Tick(); });
}

// The canvas is written pixel by pixel, so the arrow never needs a painter of its own on a
// picture the map control may be painting on.
void TArrowAnimation::PutBack() {
  if (!Canvas) return;
  for (int y = 0; y < kSize; ++y) {
    const int cy = Top + y;
    if (cy < 0 || cy >= Canvas->height()) continue;
    auto* line = reinterpret_cast<QRgb*>(Canvas->scanLine(cy));
    const auto* saved = reinterpret_cast<const QRgb*>(Background.constScanLine(y));
    for (int x = 0; x < kSize; ++x) {
      const int cx = Left + x;
      if (cx >= 0 && cx < Canvas->width()) line[cx] = saved[x];
    }
  }
}

void TArrowAnimation::DrawFrame(const QImage& frame) {
  if (!Canvas) return;
  for (int y = 0; y < kSize; ++y) {
    const int cy = Top + y;
    if (cy < 0 || cy >= Canvas->height()) continue;
    auto* line = reinterpret_cast<QRgb*>(Canvas->scanLine(cy));
    const auto* pixels = reinterpret_cast<const QRgb*>(frame.constScanLine(y));
    for (int x = 0; x < kSize; ++x) {
      const int cx = Left + x;
      // White is the frames' transparent colour.
      if (cx >= 0 && cx < Canvas->width() && (pixels[x] & 0x00FFFFFF) != 0x00FFFFFF)
        line[cx] = pixels[x];
    }
  }
}

void TArrowAnimation::Show(QImage& canvas, int x, int y) {
  Timer.start();
  Shown = true;
  Left = x - kSize;
  Top = y - kSize;
  Canvas = &canvas;
  for (int by = 0; by < kSize; ++by)
    for (int bx = 0; bx < kSize; ++bx) {
      const int cx = Left + bx, cy = Top + by;
      const bool inside = cx >= 0 && cy >= 0 && cx < canvas.width() && cy < canvas.height();
      Background.setPixel(bx, by, inside ? canvas.pixel(cx, cy) : qRgb(255, 255, 255));
    }
}

void TArrowAnimation::Hide(QImage& canvas) {
  Timer.stop();
  // Only an arrow that is up has pixels to put back: the saved ones belong to the picture it
  // was shown on, and would leave a patch of an old map on any later one.
  if (!Shown) return;
  Shown = false;
  Canvas = &canvas;
  PutBack();
  if (OnChanged) OnChanged();
}

void TArrowAnimation::Tick() {
  PutBack();
  DrawFrame(Frames[size_t(Frame - 1)]);
  if (Frame == 4) {
    Frame = 3;
    Forward = !Forward;
  } else if (Frame == 1) {
    Frame = 2;
    Forward = !Forward;
  } else {
    Frame = uint8_t(Forward ? Frame + 1 : Frame - 1);
  }
  if (OnChanged) OnChanged();
}
