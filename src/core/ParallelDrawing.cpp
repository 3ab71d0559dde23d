#include "ParallelDrawing.h"

#include "CustomLayer.h"

#include "db/Error.h"

#include <QThread>
#include <QThreadPool>
#include <algorithm>
#include <latch>

namespace {
constexpr int kMaximumRuns = 16;
}

TParallelDrawing::TParallelDrawing(gfx::Canvas& whole, int threads, std::vector<QImage>* spare)
    : Whole(whole), Spare(spare) {
  if (threads <= 0) threads = QThread::idealThreadCount();
  RunCount = std::clamp(threads, 1, kMaximumRuns);
  // Runs are drawn into pictures of their own: a vector surface is drawn in one run.
  if (whole.Width() <= 0 || whole.Height() <= 0 || whole.IsVector()) RunCount = 1;
}

TParallelDrawing::~TParallelDrawing() {
  if (!Spare) return;
  for (Run& run : AllRuns)
    if (!run.Surface.isNull()) Spare->push_back(std::move(run.Surface));
}

bool TParallelDrawing::Shares(TCustomLayer& layer, TWorld& world) const {
  if (RunCount < 2) return false;
  try {
    return layer.DrawsInParts(world);
  } catch (...) {
    return false; // the drawing itself reports what is wrong
  }
}

void TParallelDrawing::DrawRun(Run& run, gfx::Canvas& canvas, TCustomLayer& layer) {
  try {
    layer.Draw(canvas, run.World);
  } catch (const db::Error& e) {
    run.Failure = e.Message;
  } catch (const std::exception& e) {
    run.Failure = QString::fromStdString(e.what());
  }
}

void TParallelDrawing::DrawRunOnSurface(Run& run, TCustomLayer& layer) const {
  gfx::Canvas canvas(run.Surface);
  canvas.StampSymbols = Whole.StampSymbols;
  canvas.SetState(run.State);
  DrawRun(run, canvas, layer);
  run.State = canvas.State();
}

std::optional<QString> TParallelDrawing::DrawLayer(TCustomLayer& layer, const TWorld& world) {
  try {
    layer.PrepareToDraw(world);
  } catch (const db::Error& e) {
    return e.Message;
  } catch (const std::exception& e) {
    return QString::fromStdString(e.what());
  }
  if (AllRuns.empty()) {
    AllRuns.resize(size_t(RunCount));
    // Surfaces of another size are dropped; those of this size are transparent already.
    if (Spare)
      std::erase_if(*Spare, [&](const QImage& s) { return s.size() != Whole.Image().size(); });
    for (size_t i = 1; i < AllRuns.size(); ++i) {
      if (Spare && !Spare->empty()) {
        AllRuns[i].Surface = std::move(Spare->back());
        Spare->pop_back();
      } else {
        AllRuns[i].Surface = QImage(Whole.Image().size(), QImage::Format_ARGB32_Premultiplied);
        AllRuns[i].Surface.fill(Qt::transparent);
      }
    }
  }
  const gfx::CanvasState start = Whole.State();
  for (size_t i = 0; i < AllRuns.size(); ++i) {
    Run& run = AllRuns[i];
    run.State = start;
    run.World = world;
    run.World.Part = {true, int(i), RunCount, -1};
    run.Failure.reset();
  }
  // The first run is drawn on the picture by this thread, the others on the pool's threads.
  std::latch done(std::ptrdiff_t(AllRuns.size() - 1));
  for (size_t i = 1; i < AllRuns.size(); ++i)
    QThreadPool::globalInstance()->start([this, &run = AllRuns[i], &layer, &done] {
      DrawRunOnSurface(run, layer);
      done.count_down();
    });
  DrawRun(AllRuns[0], Whole, layer);
  done.wait();
  for (size_t i = 1; i < AllRuns.size(); ++i)
    LayOver(AllRuns[i].Surface);
  // Drawing an object sets all the state the object changes, so the run that drew the layer's
  // last object ended in the state one thread would have ended in; when no run drew anything,
  // all ended alike.
  const Run* last = &AllRuns[0];
  for (const Run& run : AllRuns)
    if (run.World.Part.LastObject > last->World.Part.LastObject) last = &run;
  if (last != &AllRuns[0]) Whole.SetState(last->State);
  for (const Run& run : AllRuns)
    if (run.Failure) return run.Failure;
  return std::nullopt;
}

void TParallelDrawing::LayOver(QImage& surface) {
  QImage& picture = Whole.Image();
  const int width = picture.width();
  for (int y = 0; y < picture.height(); ++y) {
    auto* from = reinterpret_cast<uint32_t*>(surface.scanLine(y));
    auto* to = reinterpret_cast<uint32_t*>(picture.scanLine(y));
    for (int x = 0; x < width; ++x) {
      // Without anti-aliasing a drawn pixel is opaque: its alpha is 255.
      if (from[x] >> 24) {
        to[x] = from[x];
        from[x] = 0;
      }
    }
  }
}
