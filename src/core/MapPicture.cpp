#include "MapPicture.h"

#include "MapMeasurements.h"

#include "base/AtomicFile.h"
#include "base/FileError.h"
#include "gfx/Canvas.h"
#include "gfx/PngWriter.h"
#include "gfx/ScaleBar.h"

#include <QBuffer>
#include <QFileInfo>
#include <QImageWriter>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>

TMapPicture DrawMapPicture(TMapContent& content, const TExtent& view,
                           const TMapPictureOptions& options) {
  TMapPicture picture;
  QImage& image = picture.Image;
  image = QImage(std::max(1, options.Width), std::max(1, options.Height), QImage::Format_RGB32);
  image.fill(Qt::white);
  const TWorld saved = content.World;
  content.World.SetView(image.width(), image.height(), view.XMin, view.YMin, view.XMax, view.YMax);
  {
    gfx::Canvas canvas(image);
    picture.ScaleDenominator = content.World.ComputeScale(canvas.WidthMM());
    content.DrawLayers(canvas, [&](int layer, const QString& reason) {
      picture.Failures.emplace_back(content.Layers[size_t(layer)]->ClassName, reason);
    });
    if (options.Measurements) options.Measurements->Draw(canvas, content.World);
  }
  if (options.ScaleBar) {
    QPainter painter(&image);
    gfx::DrawScaleBar(painter, image.rect(), content.World.Scale);
  }
  content.World = saved;
  return picture;
}

TMapPicture DrawMapPdf(TMapContent& content, const TExtent& view, const TMapPictureOptions& options,
                       const QString& path) {
  TMapPicture picture;
  const int width = std::max(1, options.Width), height = std::max(1, options.Height);
  QBuffer bytes;
  bytes.open(QIODevice::WriteOnly);
  {
    QPdfWriter pdf(&bytes);
    pdf.setResolution(gfx::kVectorResolution);
    pdf.setPageSize(
        QPageSize(QSizeF(width * 25.4 / 96, height * 25.4 / 96), QPageSize::Millimeter));
    pdf.setPageMargins(QMarginsF(0, 0, 0, 0));
    pdf.setCreator("Vandrel");
    pdf.setTitle(QFileInfo(path).completeBaseName());
    const TWorld saved = content.World;
    const int threads = content.Threads;
    content.World.SetView(width, height, view.XMin, view.YMin, view.XMax, view.YMax);
    content.Threads = 1;
    {
      gfx::Canvas canvas(pdf, QSize(width, height));
      if (!canvas.Surface().isActive())
        throw base::FileError(path, "не вдається записати файл PDF");
      picture.ScaleDenominator = content.World.ComputeScale(canvas.WidthMM());
      content.DrawLayers(canvas, [&](int layer, const QString& reason) {
        picture.Failures.emplace_back(content.Layers[size_t(layer)]->ClassName, reason);
      });
      if (options.Measurements) options.Measurements->Draw(canvas, content.World);
      if (options.ScaleBar)
        gfx::DrawScaleBar(canvas.Surface(), QRect(0, 0, width, height), content.World.Scale);
    }
    content.Threads = threads;
    content.World = saved;
  }
  base::WriteFileAtomically(path, bytes.data());
  return picture;
}

void SaveMapPicture(const QImage& image, const QString& path, int pngLevel) {
  if (path.endsWith(".png", Qt::CaseInsensitive)) {
    gfx::WritePng(image, path, pngLevel);
    return;
  }
  if (path.endsWith(".pdf", Qt::CaseInsensitive)) {
    QPdfWriter pdf(path);
    pdf.setResolution(96);
    pdf.setPageSize(QPageSize(QSizeF(image.width() * 25.4 / 96, image.height() * 25.4 / 96),
                              QPageSize::Millimeter));
    pdf.setPageMargins(QMarginsF(0, 0, 0, 0));
    QPainter p;
    if (!p.begin(&pdf)) throw base::FileError(path, "не вдається записати файл PDF");
    p.drawImage(QRect(0, 0, pdf.width(), pdf.height()), image);
    p.end();
    return;
  }
  QImageWriter writer(path);
  if (!writer.write(image))
    throw base::FileError(path, "не вдається записати: " + writer.errorString());
}
