#include "KeptPictures.h"

#include <algorithm>
#include <cstring>

size_t TKeptPictures::Restore(gfx::Canvas& canvas, const QString& view,
                              const std::vector<QString>& signatures) {
  CostSinceLast = 0;
  size_t firstChanged = 0;
  if (view == View && !canvas.IsVector()) {
    const size_t common = std::min(signatures.size(), Signatures.size());
    while (firstChanged < common && signatures[firstChanged] == Signatures[firstChanged])
      ++firstChanged;
  }
  View = view;
  Signatures = signatures;
  // Only the checkpoints below the first change still hold.
  std::erase_if(Pictures, [&](Checkpoint& c) {
    const bool stale = c.Below > firstChanged ||
                       (!c.Picture.isNull() && c.Picture.size() != canvas.Image().size());
    if (stale && !c.Picture.isNull()) Spare.push_back(std::move(c.Picture));
    return stale;
  });
  if (Pictures.empty()) return 0;
  const Checkpoint& from = Pictures.back();
  // A checkpoint without a picture is the background itself, which the canvas holds.
  if (!from.Picture.isNull())
    canvas.CopyRect(from.Picture.rect(), from.Picture, from.Picture.rect());
  return from.Below;
}

void TKeptPictures::Drawn(gfx::Canvas& canvas, size_t index, double milliseconds, bool drew) {
  if (canvas.IsVector()) return;
  if (!drew) {
    // Nothing drawn: the picture after this layer is the one before it.
    if (Pictures.empty() && index == 0)
      Pictures.push_back({1, QImage()});
    else if (!Pictures.empty() && Pictures.back().Below == index)
      Pictures.back().Below = index + 1;
    return;
  }
  CostSinceLast += milliseconds;
  if (CostSinceLast < MinimumCost) return;
  const QImage& now = canvas.Image();
  if (qint64(Pictures.size() + 1) * now.sizeInBytes() > Budget) return;
  // Into a picture of an earlier drawing when one of this size and format is spare: pictures of
  // a screen's size are not allocated and freed again at every drawing.
  QImage picture;
  while (!Spare.empty() && picture.isNull()) {
    if (Spare.back().size() == now.size() && Spare.back().format() == now.format())
      picture = std::move(Spare.back());
    Spare.pop_back();
  }
  if (picture.isNull())
    picture = now.copy();
  else
    std::memcpy(picture.bits(), now.constBits(), size_t(now.sizeInBytes()));
  Pictures.push_back({index + 1, std::move(picture)});
  CostSinceLast = 0;
}

void TKeptPictures::Forget() {
  View.clear();
  Signatures.clear();
  for (Checkpoint& c : Pictures)
    if (!c.Picture.isNull()) Spare.push_back(std::move(c.Picture));
  Pictures.clear();
}
