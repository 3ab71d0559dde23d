#include "DerivedCache.h"

#include "AtomicFile.h"
#include "RemoteFiles.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <algorithm>
#include <atomic>
#include <cstring>
#include <sys/stat.h>
#include <time.h>
#include <xxhash.h>

namespace base {
namespace {

// A source changed less than this long ago is not trusted to show its next change.
std::atomic<int64_t> settledMilliseconds{3000};
const QByteArray kMagic = "VANDREL-DERIVED-3\n";

QString CachePath(const QString& source, const QString& kind) {
  const QString folder = DerivedCache::Folder();
  if (folder.isEmpty()) return {};
  QString canonical = QFileInfo(source).canonicalFilePath();
  if (canonical.isEmpty()) canonical = QFileInfo(source).absoluteFilePath();
  const QByteArray name =
      QCryptographicHash::hash((kind + "\n" + canonical).toUtf8(), QCryptographicHash::Sha1)
          .toHex();
  return folder + "/" + kind + "-" + QString::fromLatin1(name);
}

// The header of a kept file: the magic, the stamp's length and the stamp, the content's length
// (8 bytes) and its 64-bit XXH3 hash, padded to 8 bytes. The hash finds content damaged on disk
// or written over in place, which the source's stamp cannot; it reads tens of megabytes of kept
// rows in a few milliseconds, where a CRC-32 took ten times as long.
QByteArray Header(const QByteArray& stamp, uint64_t contentSize, uint64_t checksum) {
  QByteArray header = kMagic;
  const uint32_t length = uint32_t(stamp.size());
  header.append(reinterpret_cast<const char*>(&length), sizeof length);
  header += stamp;
  header.append(reinterpret_cast<const char*>(&contentSize), sizeof contentSize);
  header.append(reinterpret_cast<const char*>(&checksum), sizeof checksum);
  while (header.size() % 8 != 0)
    header.append('\0');
  return header;
}

uint64_t Checksum(std::span<const unsigned char> bytes) {
  return XXH3_64bits(bytes.data(), bytes.size());
}

} // namespace

QString DerivedCache::Folder() {
  const QByteArray chosen = qgetenv("VANDREL_CACHE_DIR");
  if (chosen == "off") return {};
  if (!chosen.isEmpty()) return QString::fromLocal8Bit(chosen);
  const QString generic = QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation);
  return generic.isEmpty() ? QString() : generic + "/vandrel";
}

int64_t DerivedCache::SettledMilliseconds() {
  return settledMilliseconds;
}

void DerivedCache::SetSettledMilliseconds(int64_t milliseconds) {
  settledMilliseconds = milliseconds;
}

QByteArray DerivedCache::Stamp(const QString& source) {
  // A store's file: its signature names its identity and its count of changes.
  if (const RemoteFileKind* remote = RemoteFileKindOf(source))
    return remote->Signature(source).toUtf8();
  struct stat st {};
  if (::stat(QFile::encodeName(source).constData(), &st) != 0) return {};
  const int64_t modified = int64_t(st.st_mtim.tv_sec) * 1'000'000'000 + st.st_mtim.tv_nsec;
  const int64_t changed = int64_t(st.st_ctim.tv_sec) * 1'000'000'000 + st.st_ctim.tv_nsec;
  struct timespec clock {};
  ::clock_gettime(CLOCK_REALTIME, &clock);
  const int64_t now = int64_t(clock.tv_sec) * 1'000'000'000 + clock.tv_nsec;
  if (now - std::max(modified, changed) < settledMilliseconds * 1'000'000) return {};
  const int64_t fields[] = {int64_t(st.st_dev), int64_t(st.st_ino), int64_t(st.st_size), modified,
                            changed};
  return QByteArray(reinterpret_cast<const char*>(fields), sizeof fields);
}

DerivedContent DerivedCache::Load(const QString& source, const QString& kind,
                                  const QByteArray& stamp) {
  if (stamp.isEmpty()) return {};
  const QString path = CachePath(source, kind);
  if (path.isEmpty() || !QFileInfo::exists(path)) return {};
  try {
    // Only a regular file of the program's own is read: a FIFO or link planted at its name is
    // refused without waiting on it.
    auto mapped = std::make_shared<MappedFile>(path, MappedFile::Kind::RegularOnly);
    const size_t headerSize = size_t(Header(stamp, 0, 0).size());
    if (size_t(mapped->Size()) < headerSize) return {};
    const auto content = mapped->Bytes().subspan(headerSize);
    const QByteArray header = Header(stamp, content.size(), Checksum(content));
    if (std::memcmp(mapped->Bytes().data(), header.constData(), headerSize) != 0 || mapped->Cut())
      return {};
    return DerivedContent{mapped, content};
  } catch (const FileError&) {
    return {};
  }
}

void DerivedCache::Store(const QString& source, const QString& kind, const QByteArray& stamp,
                         const QByteArray& content) {
  if (stamp.isEmpty()) return;
  const QString path = CachePath(source, kind);
  if (path.isEmpty() || !QDir().mkpath(QFileInfo(path).path())) return;
  try {
    AtomicFileWriter writer(path);
    writer.Write(Header(stamp, uint64_t(content.size()),
                        Checksum({reinterpret_cast<const unsigned char*>(content.constData()),
                                  size_t(content.size())})));
    writer.Write(content);
    writer.Commit();
  } catch (const FileError&) {
    // Kept another time.
  }
}

} // namespace base
