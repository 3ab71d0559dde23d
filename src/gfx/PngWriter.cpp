#include "PngWriter.h"

#include "base/AtomicFile.h"
#include "base/FileError.h"

#include <algorithm>
#include <stdexcept>
#include <vector>
#include <zlib.h>

namespace gfx {
namespace {

void PutU32BE(QByteArray& out, uint32_t v) {
  const char bytes[4] = {char(v >> 24), char(v >> 16), char(v >> 8), char(v)};
  out.append(bytes, 4);
}

// A chunk: length, type, data and the CRC of type and data.
void PutChunk(QByteArray& out, const char* type, const QByteArray& data) {
  PutU32BE(out, uint32_t(data.size()));
  const qsizetype start = out.size();
  out.append(type, 4);
  out.append(data);
  PutU32BE(out, uint32_t(crc32(0, reinterpret_cast<const Bytef*>(out.constData() + start),
                               uInt(out.size() - start))));
}

// Deflates the filtered rows of `image` (RGB32) into a zlib stream.
QByteArray CompressedRows(const QImage& image, int level) {
  z_stream z{};
  if (deflateInit(&z, std::clamp(level, 0, 9)) != Z_OK)
    throw std::runtime_error("стиснення PNG не запускається");
  const int width = image.width();
  std::vector<unsigned char> row(size_t(width) * 3 + 1);
  QByteArray out;
  out.resize(qsizetype(deflateBound(&z, uLong(row.size()) * uLong(image.height()))));
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = uInt(out.size());
  for (int y = 0; y < image.height(); ++y) {
    const auto* pixels = reinterpret_cast<const uint32_t*>(image.constScanLine(y));
    row[0] = 1; // Sub: each byte less the same byte of the pixel on its left
    uint32_t left = 0;
    for (int x = 0; x < width; ++x) {
      const uint32_t p = pixels[x];
      unsigned char* o = &row[size_t(x) * 3 + 1];
      o[0] = uint8_t((p >> 16) - (left >> 16));
      o[1] = uint8_t((p >> 8) - (left >> 8));
      o[2] = uint8_t(p - left);
      left = p;
    }
    z.next_in = row.data();
    z.avail_in = uInt(row.size());
    const int flush = y + 1 == image.height() ? Z_FINISH : Z_NO_FLUSH;
    while (z.avail_in > 0 || flush == Z_FINISH) {
      const int r = deflate(&z, flush);
      if (r == Z_STREAM_END) break;
      if (r != Z_OK || z.avail_out == 0) {
        deflateEnd(&z);
        throw std::runtime_error("стиснення PNG не вдалося");
      }
    }
  }
  out.resize(qsizetype(z.total_out));
  deflateEnd(&z);
  return out;
}

} // namespace

QByteArray EncodePng(const QImage& source, int level) {
  const QImage image = source.format() == QImage::Format_RGB32 ||
                               source.format() == QImage::Format_ARGB32 ||
                               source.format() == QImage::Format_ARGB32_Premultiplied
                           ? source
                           : source.convertToFormat(QImage::Format_RGB32);
  QByteArray png("\x89PNG\r\n\x1a\n", 8);
  QByteArray header;
  PutU32BE(header, uint32_t(image.width()));
  PutU32BE(header, uint32_t(image.height()));
  header.append("\x08\x02\x00\x00\x00", 5); // 8 bits, RGB, deflate, adaptive filters, no interlace
  PutChunk(png, "IHDR", header);
  PutChunk(png, "IDAT", image.isNull() ? QByteArray() : CompressedRows(image, level));
  PutChunk(png, "IEND", QByteArray());
  return png;
}

void WritePng(const QImage& image, const QString& path, int level) {
  if (image.isNull()) throw base::FileError(path, "зображення порожнє");
  base::WriteFileAtomically(path, EncodePng(image, level));
}

} // namespace gfx
