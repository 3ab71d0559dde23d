#include "DerivedCache.h"

#include "AtomicFile.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <atomic>
#include <cstring>
#include <sys/stat.h>
#include <time.h>

namespace base {
namespace {

// A source changed less than this long ago is not trusted to show its next change.
std::atomic<int64_t> settledMilliseconds{3000};
const QByteArray kMagic = "VANDREL-DERIVED-1\n";

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

// The header of a kept file: the magic, the stamp's length and the stamp, padded to 8 bytes.
QByteArray Header(const QByteArray& stamp) {
  QByteArray header = kMagic;
  const uint32_t length = uint32_t(stamp.size());
  header.append(reinterpret_cast<const char*>(&length), sizeof length);
  header += stamp;
  while (header.size() % 8 != 0)
    header.append('\0');
  return header;
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
    auto mapped = std::make_shared<MappedFile>(path);
    const QByteArray header = Header(stamp);
    if (mapped->Size() < header.size() ||
        std::memcmp(mapped->Bytes().data(), header.constData(), size_t(header.size())) != 0)
      return {};
    return DerivedContent{mapped, mapped->Bytes().subspan(size_t(header.size()))};
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
    writer.Write(Header(stamp));
    writer.Write(content);
    writer.Commit();
  } catch (const FileError&) {
    // Kept another time.
  }
}

} // namespace base
