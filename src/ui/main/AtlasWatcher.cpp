#include "AtlasWatcher.h"

#include "base/FileError.h"
#include "base/OwnWrites.h"
#include "base/RemoteFiles.h"

#include <QDir>

TAtlasWatcher::TAtlasWatcher(QStringList folders, QObject* parent)
    : QObject(parent), Folders(std::move(folders)) {
  try {
    Seen = Signatures();
    ChangeTold();
  } catch (const base::FileError&) {
    Unsettled = true; // a database out of reach: looked at when it answers
  }
  Timer.setInterval(kIntervalMs);
  connect(&Timer, &QTimer::timeout, this, [this] { Look(); });
  Timer.start();
}

void TAtlasWatcher::WatchChannel() {
  // The store's socket; another one after the store connected again.
  const auto* remote = base::RemoteFileKindOf(Folders[0]);
  const int socket = remote ? remote->ChangeSocket(Folders[0]) : -1;
  if (socket < 0 || (Channel && Channel->socket() == socket)) return;
  Channel = std::make_unique<QSocketNotifier>(socket, QSocketNotifier::Read);
  connect(Channel.get(), &QSocketNotifier::activated, this, [this] { Look(); });
}

std::map<QString, QString> TAtlasWatcher::Signatures() const {
  std::map<QString, QString> signatures;
  for (const QString& folder : Folders) {
    if (const auto* remote = base::RemoteFileKindOf(folder)) {
      for (const QString& name : remote->List(folder))
        signatures[folder + "/" + name] = remote->Signature(folder + "/" + name);
      continue;
    }
    const QDir dir(folder);
    for (const QString& name : dir.entryList(QDir::Files | QDir::Hidden, QDir::Name)) {
      const QString path = dir.absoluteFilePath(name);
      signatures[path] = base::FileSignature(path);
    }
  }
  return signatures;
}

bool TAtlasWatcher::ChangeTold() {
  uint64_t told = 0;
  bool remote = false;
  for (const QString& folder : Folders)
    if (const auto* kind = base::RemoteFileKindOf(folder)) {
      told += kind->ChangesTold(folder);
      remote = true;
    }
  if (!remote) return true;
  WatchChannel();
  const bool news = told != Told;
  Told = told;
  return news;
}

void TAtlasWatcher::Look() {
  try {
    if (!ChangeTold() && !Unsettled) return;
    const std::map<QString, QString> now = Signatures();
    // Files as this program's own writes left them are no one else's change.
    bool others = false;
    for (const auto& [path, signature] : now) {
      const auto seen = Seen.find(path);
      if ((seen == Seen.end() || seen->second != signature) && !base::IsOwnState(path, signature))
        others = true;
    }
    for (const auto& [path, signature] : Seen)
      if (!now.count(path)) others = true; // a file gone
    Unsettled = now != Seen && others && OnChanged && !OnChanged();
    if (!Unsettled) Seen = now;
  } catch (const base::FileError&) {
    Unsettled = true; // a database out of reach: looked at again when it answers
  }
}
