#include "MappedFile.h"

#include "ByteOrder.h"

namespace base {

MappedFile::MappedFile(const QString& path) : FilePath(path), File(path) {
  if (!File.open(QIODevice::ReadOnly))
    throw FileError(path, QString("не вдається відкрити файл: %1").arg(File.errorString()));
  const qint64 size = File.size();
  if (size == 0) return;
  uchar* mapped = File.map(0, size);
  if (!mapped)
    throw FileError(path,
                    QString("не вдається відобразити файл у пам'ять: %1").arg(File.errorString()));
  Data = std::span<const unsigned char>(mapped, size_t(size));
}

void BinaryReader::Seek(int64_t offset) {
  if (offset < 0 || offset > Size())
    Fail(QString("зміщення %1 лежить поза файлом розміром %2 байт").arg(offset).arg(Size()));
  Pos = offset;
}

std::span<const unsigned char> BinaryReader::Read(int64_t count) {
  auto span = At(Pos, count);
  Pos += count;
  return span;
}

std::span<const unsigned char> BinaryReader::At(int64_t offset, int64_t count) const {
  if (count < 0 || offset < 0 || offset > Size() || count > Size() - offset)
    throw FileError(FilePath,
                    QString("файл закінчується на байті %1, а за зміщенням %3 потрібно %2 байт")
                        .arg(Size())
                        .arg(count)
                        .arg(offset));
  return Data.subspan(size_t(offset), size_t(count));
}

uint16_t BinaryReader::U16LE() {
  return GetU16LE(Read(2).data());
}
uint32_t BinaryReader::U32LE() {
  return GetU32LE(Read(4).data());
}
uint32_t BinaryReader::U32BE() {
  return GetU32BE(Read(4).data());
}
double BinaryReader::DoubleLE() {
  return GetDoubleLE(Read(8).data());
}

void BinaryReader::Fail(const QString& reason) const {
  throw FileError(FilePath, QString("%1 (зміщення %2)").arg(reason).arg(Pos));
}

} // namespace base
