#include "StepPicture.h"

#include "MapContent.h"

TStepPicture::TStepPicture(const std::function<void()>& step) {
  Timer.setSingleShot(true);
  QObject::connect(&Timer, &QTimer::timeout, step);
}

void TStepPicture::Begin(TMapContent& content, int w, int h, uint32_t background) {
  GiveUp(content);
  Image = QImage(w, h, QImage::Format_RGB32);
  Image.fill(gfx::ToQColor(background));
  Canvas = std::make_unique<gfx::Canvas>(Image);
  Clock.start();
}

QImage TStepPicture::Take() {
  Canvas.reset();
  QImage finished = std::move(Image);
  Image = QImage();
  return finished;
}

void TStepPicture::GiveUp(TMapContent& content) {
  Timer.stop();
  content.CancelDrawing();
  Canvas.reset();
  Image = QImage();
}
