#pragma once
// Pictures kept from the last drawing of a view: the picture as it stood after a layer (a
// checkpoint), with what every layer up to it was drawn from (its signature: its row, its files,
// its visibility). A drawing of the same view after some layers changed (one switched off,
// another program's write to one layer's table) starts from the checkpoint below the first
// layer that changed, so the layers under it are not drawn again; the picture is the one a
// drawing from the start gives, pixel for pixel, since it is that drawing's own picture.

#include "gfx/Canvas.h"

#include <QImage>
#include <QString>
#include <vector>

class TKeptPictures {
public:
  // A checkpoint is kept after a layer once this many milliseconds of drawing went into the
  // picture since the last one (copying a screen's picture costs about one, so a drawing pays a
  // tenth at most); 0 keeps one after every layer that drew.
  static inline double MinimumCost = 8;
  // The pictures kept at most, in bytes.
  static inline qint64 Budget = qint64(128) << 20;

  // Before a drawing of `view` with these layer signatures into `canvas` (its picture holds the
  // background): puts the kept picture below the first changed layer on the canvas and returns
  // that layer's index (0 when nothing kept serves).
  size_t Restore(gfx::Canvas& canvas, const QString& view, const std::vector<QString>& signatures);
  // After layer `index` was drawn into `canvas` in `milliseconds` (`drew`: it drew something).
  void Drawn(gfx::Canvas& canvas, size_t index, double milliseconds, bool drew);
  void Forget();
  size_t Count() const { return Pictures.size(); }

private:
  struct Checkpoint {
    size_t Below = 0; // the layers drawn into it
    QImage Picture;
  };
  QString View;
  std::vector<QString> Signatures;
  std::vector<Checkpoint> Pictures;
  std::vector<QImage> Spare; // pictures let go, used again (within the budget with the kept)
  double CostSinceLast = 0;
};
