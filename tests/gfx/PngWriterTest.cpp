#include "gfx/PngWriter.h"

#include "base/FileError.h"

#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

TEST(PngWriter, PicturesComeBackPixelForPixelAtEveryLevel) {
  // Colours that differ from their left neighbour in every channel, up and down (the filter's
  // differences wrap around), on an odd width, and a single pixel.
  QImage picture(37, 11, QImage::Format_RGB32);
  for (int y = 0; y < picture.height(); ++y)
    for (int x = 0; x < picture.width(); ++x)
      picture.setPixel(x, y, qRgb((x * 97 + y * 13) % 256, (255 - x * 41) & 0xFF, (x * y * 7) % 256));
  QImage one(1, 1, QImage::Format_RGB32);
  one.fill(qRgb(1, 2, 3));
  for (const QImage& source : {picture, one}) {
    for (const int level : {0, 1, 9}) {
      const QImage back = QImage::fromData(gfx::EncodePng(source, level), "PNG");
      ASSERT_FALSE(back.isNull()) << "level " << level;
      EXPECT_EQ(back.convertToFormat(QImage::Format_RGB32), source) << "level " << level;
    }
  }
  // A picture with alpha is written opaque; another format is converted first.
  QImage translucent(4, 4, QImage::Format_ARGB32);
  translucent.fill(qRgba(10, 20, 30, 40));
  const QImage opaque = QImage::fromData(gfx::EncodePng(translucent, 1), "PNG");
  EXPECT_EQ(opaque.pixel(2, 2), qRgb(10, 20, 30));
  const QImage indexed = picture.convertToFormat(QImage::Format_RGB888);
  EXPECT_EQ(QImage::fromData(gfx::EncodePng(indexed, 1), "PNG").convertToFormat(
                QImage::Format_RGB32),
            picture);
}

TEST(PngWriter, AFileIsReplacedWholeOrNotAtAll) {
  QTemporaryDir dir;
  const QString path = dir.path() + "/map.png";
  QFile old(path);
  ASSERT_TRUE(old.open(QIODevice::WriteOnly));
  old.write("the old picture");
  old.close();
  EXPECT_THROW(gfx::WritePng(QImage(), path, 1), base::FileError);
  QFile kept(path);
  ASSERT_TRUE(kept.open(QIODevice::ReadOnly));
  EXPECT_EQ(kept.readAll(), QByteArray("the old picture"));
  kept.close();
  QImage picture(20, 10, QImage::Format_RGB32);
  picture.fill(qRgb(200, 100, 50));
  gfx::WritePng(picture, path, 6);
  EXPECT_EQ(QImage(path).convertToFormat(QImage::Format_RGB32), picture);
  // A folder that does not exist is named in the error.
  try {
    gfx::WritePng(picture, dir.path() + "/missing/map.png", 1);
    FAIL() << "no error";
  } catch (const base::FileError& e) {
    EXPECT_TRUE(e.Path.contains("missing")) << e.what();
  }
}
