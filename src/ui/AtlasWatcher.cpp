#include "AtlasWatcher.h"

#include "base/OwnWrites.h"

#include <QDir>

TAtlasWatcher::TAtlasWatcher(QStringList folders, QObject* parent)
    : QObject(parent), Folders(std::move(folders)) {
  Seen = Signatures();
  Timer.setInterval(kIntervalMs);
  connect(&Timer, &QTimer::timeout, this, [this] { Look(); });
  Timer.start();
}

std::map<QString, QString> TAtlasWatcher::Signatures() const {
  std::map<QString, QString> signatures;
  for (const QString& folder : Folders) {
    const QDir dir(folder);
    for (const QString& name : dir.entryList(QDir::Files | QDir::Hidden, QDir::Name)) {
      const QString path = dir.absoluteFilePath(name);
      signatures[path] = base::FileSignature(path);
    }
  }
  return signatures;
}

void TAtlasWatcher::MarkSeen() {
  Seen = Signatures();
}

void TAtlasWatcher::Look() {
  const std::map<QString, QString> now = Signatures();
  if (now == Seen) return;
  // Files as this program's own writes left them are no one else's change.
  bool others = false;
  for (const auto& [path, signature] : now) {
    const auto seen = Seen.find(path);
    if ((seen == Seen.end() || seen->second != signature) && !base::IsOwnState(path, signature))
      others = true;
  }
  for (const auto& [path, signature] : Seen)
    if (!now.count(path)) others = true; // a file gone
  if (!others || !OnChanged || OnChanged()) Seen = now;
}
