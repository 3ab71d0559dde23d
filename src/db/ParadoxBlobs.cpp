#include "ParadoxBlobs.h"

#include "Error.h"
#include "ParadoxFormat.h"

#include "base/ByteOrder.h"

#include <QFileInfo>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace db::paradox {
namespace {

constexpr int kUnit = 4096;
constexpr int kSingleBlobHeader = 9;
constexpr int kSubEntriesOffset = 12;
const unsigned char kGraphicPrefix[4] = {0x01, 0x00, 0x00, 0x01};

QByteArray StripGraphicPrefix(const QByteArray& data) {
  if (data.size() >= 8 && std::memcmp(data.constData(), kGraphicPrefix, 4) == 0) return data.mid(8);
  return data;
}

void WriteAll(int fd, const char* data, size_t size, const QString& path) {
  while (size > 0) {
    const ssize_t n = ::write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      throw Error::ForTable(
          path, QString("не вдається записати файл BLOB: %1").arg(std::strerror(errno)));
    }
    data += n;
    size -= size_t(n);
  }
}

} // namespace

const base::MappedFile& BlobFile::Mapped() {
  if (!Map) {
    if (!QFileInfo::exists(FilePath))
      throw Error::ForTable(FilePath, "файлу BLOB немає, а записи посилаються на нього");
    try {
      Map = std::make_unique<base::MappedFile>(FilePath);
    } catch (const base::FileError& e) {
      throw Error::ForTable(FilePath, e.Reason);
    }
  }
  return *Map;
}

QByteArray BlobFile::Read(const FieldDef& field, std::span<const unsigned char> fieldBytes) {
  const int leaderSize = field.Size - kBlobDescriptorSize;
  const unsigned char* d = fieldBytes.data() + leaderSize;
  const uint32_t pointer = base::GetU32LE(d);
  const uint32_t length = base::GetU32LE(d + 4);
  if (length == 0) return {};
  if (pointer == 0) {
    // The whole blob lies in the leader.
    if (length > uint32_t(leaderSize))
      throw Error::ForField(FilePath, field.Name,
                            QString("BLOB у %1 байт нібито вміщується в заголовок у %2 байт")
                                .arg(length)
                                .arg(leaderSize));
    const QByteArray data(reinterpret_cast<const char*>(fieldBytes.data()), qsizetype(length));
    return field.Type == FieldType::Graphic ? StripGraphicPrefix(data) : data;
  }
  const base::MappedFile& mb = Mapped();
  base::BinaryReader reader(mb);
  const int64_t blockOffset = pointer & 0xFFFFFF00u;
  const int index = int(pointer & 0xFF);
  auto bad = [&](const QString& why) {
    return Error::ForField(FilePath, field.Name,
                           QString("%1 (BLOB за зміщенням %2)").arg(why).arg(blockOffset));
  };
  try {
    const auto head = reader.At(blockOffset, 3);
    QByteArray data;
    if (index == 0xFF) {
      if (head[0] != 2)
        throw bad(QString("очікувався блок BLOB, а знайдено блок типу %1").arg(head[0]));
      const auto bytes = reader.At(blockOffset + kSingleBlobHeader, length);
      data = QByteArray(reinterpret_cast<const char*>(bytes.data()), qsizetype(length));
    } else {
      if (head[0] != 3)
        throw bad(
            QString("очікувався блок спільного розміщення, а знайдено блок типу %1").arg(head[0]));
      if (index > 63) throw bad(QString("індекс BLOB %1 поза межами").arg(index));
      const auto entry = reader.At(blockOffset + kSubEntriesOffset + 5 * index, 5);
      const int64_t dataOffset = int64_t(entry[0]) * 16;
      if (entry[0] == 0) throw bad("BLOB видалено з його блоку");
      if (dataOffset + length > kUnit) throw bad("BLOB виходить за кінець свого блоку");
      const auto bytes = reader.At(blockOffset + dataOffset, length);
      data = QByteArray(reinterpret_cast<const char*>(bytes.data()), qsizetype(length));
    }
    return field.Type == FieldType::Graphic ? StripGraphicPrefix(data) : data;
  } catch (const base::FileError& e) {
    throw bad(e.Reason);
  }
}

std::optional<int64_t> BlobFile::BlockOf(const FieldDef& field,
                                         std::span<const unsigned char> fieldBytes) {
  const unsigned char* d = fieldBytes.data() + field.Size - kBlobDescriptorSize;
  const uint32_t pointer = base::GetU32LE(d);
  if (pointer == 0 || base::GetU32LE(d + 4) == 0) return std::nullopt;
  return int64_t(pointer & 0xFFFFFF00u);
}

std::optional<std::pair<int64_t, int>> BlobFile::FreeBlock(int fd, int64_t units) const {
  if (!InUse) return std::nullopt;
  struct stat info = {};
  if (::fstat(fd, &info) != 0) return std::nullopt;
  // The blocks follow one another from the header, each as long as its units say. Only blocks
  // of one blob are taken: sub-allocated and free blocks are other programs' bookkeeping.
  unsigned char head[3];
  for (int64_t at = 0; at + 3 <= int64_t(info.st_size);) {
    if (::pread(fd, head, 3, off_t(at)) != 3) break;
    const int count = base::GetU16LE(head + 1);
    if (count == 0 || (at > 0 && head[0] == 0)) break; // not a block: stop trusting the walk
    if (head[0] == 2 && count >= units && !InUse->count(at) &&
        at + int64_t(count) * kUnit <= int64_t(info.st_size))
      return std::make_pair(at, count);
    at += int64_t(count) * kUnit;
  }
  return std::nullopt;
}

uint16_t BlobFile::NextModificationNumber(int fd) {
  unsigned char head[5] = {};
  if (::pread(fd, head, 5, 0) != 5) return 1;
  uint16_t mod = uint16_t(base::GetU16LE(head + 3) + 1);
  if (mod == 0) mod = 1;
  unsigned char out[2];
  base::PutU16LE(out, mod);
  if (::pwrite(fd, out, 2, 3) != 2)
    throw Error::ForTable(FilePath,
                          QString("не вдається оновити файл BLOB: %1").arg(std::strerror(errno)));
  return mod;
}

void BlobFile::Write(const FieldDef& field, const QByteArray& value, std::span<unsigned char> out) {
  const int leaderSize = field.Size - kBlobDescriptorSize;
  std::memset(out.data(), 0, out.size());
  if (value.isEmpty()) return;
  QByteArray stored = value;
  if (field.Type == FieldType::Graphic) {
    QByteArray prefix(8, '\0');
    std::memcpy(prefix.data(), kGraphicPrefix, 4);
    base::PutU32LE(prefix.data() + 4, uint32_t(value.size()));
    stored = prefix + value;
  }
  std::memcpy(out.data(), value.constData(), size_t(std::min<qsizetype>(leaderSize, value.size())));
  unsigned char* d = out.data() + leaderSize;
  if (field.Type != FieldType::Graphic && stored.size() <= leaderSize) {
    base::PutU32LE(d, 0);
    base::PutU32LE(d + 4, uint32_t(stored.size()));
    base::PutU16LE(d + 8, 1);
    return;
  }
  Map.reset(); // the file is about to grow
  const bool created = !QFileInfo::exists(FilePath);
  const int fd = ::open(FilePath.toLocal8Bit().constData(), O_RDWR | O_CREAT, 0644);
  if (fd < 0)
    throw Error::ForTable(
        FilePath,
        QString("не вдається відкрити файл BLOB для запису: %1").arg(std::strerror(errno)));
  try {
    if (created || ::lseek(fd, 0, SEEK_END) == 0) {
      // A new blob file starts with its 4 KiB header block.
      QByteArray header(kUnit, '\0');
      auto* h = reinterpret_cast<unsigned char*>(header.data());
      base::PutU16LE(h + 1, 1);
      base::PutU16LE(h + 3, 0);
      base::PutU16LE(h + 0x0B, 0x1000);
      base::PutU16LE(h + 0x0D, 0x1000);
      h[0x0F] = 0x10;
      base::PutU16LE(h + 0x10, 0x40);
      base::PutU16LE(h + 0x12, 0x800);
      ::lseek(fd, 0, SEEK_SET);
      WriteAll(fd, header.constData(), size_t(header.size()), FilePath);
    }
    off_t end = ::lseek(fd, 0, SEEK_END);
    end = ((end + kUnit - 1) / kUnit) * kUnit; // blocks start on 4 KiB boundaries
    const uint16_t mod = NextModificationNumber(fd);
    const int64_t total = kSingleBlobHeader + stored.size();
    int64_t units = (total + kUnit - 1) / kUnit;
    if (units > 0xFFFF) throw Error::ForField(FilePath, field.Name, "BLOB більший за 256 МіБ");
    // A block freed by an earlier change is written over, keeping its length, so the file does
    // not grow with every change of a picture.
    if (const auto free = FreeBlock(fd, units)) {
      end = off_t(free->first);
      units = free->second;
    }
    if (InUse) InUse->insert(int64_t(end));
    QByteArray block(qsizetype(units * kUnit), '\0');
    auto* b = reinterpret_cast<unsigned char*>(block.data());
    b[0] = 2;
    base::PutU16LE(b + 1, uint16_t(units));
    base::PutU32LE(b + 3, uint32_t(stored.size()));
    base::PutU16LE(b + 7, mod);
    std::memcpy(b + kSingleBlobHeader, stored.constData(), size_t(stored.size()));
    if (::lseek(fd, end, SEEK_SET) != end)
      throw Error::ForTable(FilePath, "не вдається перейти у файлі BLOB");
    WriteAll(fd, block.constData(), size_t(block.size()), FilePath);
    if (::fsync(fd) != 0) throw Error::ForTable(FilePath, "не вдається зберегти файл BLOB на диск");
    ::close(fd);
    base::PutU32LE(d, uint32_t(end) | 0xFFu);
    base::PutU32LE(d + 4, uint32_t(stored.size()));
    base::PutU16LE(d + 8, mod);
  } catch (...) {
    ::close(fd);
    throw;
  }
}

} // namespace db::paradox
