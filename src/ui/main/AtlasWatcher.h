#pragma once
// Notices another user's writes to the atlas: twice a second it compares what the files of the
// watched folders are now (inode, size, time) with what they were, and tells when one of them
// changed in a way this program's own writes did not leave it. Polling rather than file-system
// events, since the folders are often on a network file system that reports nothing of other
// machines' writes. Folders of an atlas kept in a database are not polled: the database tells of
// every change on its channel, the watcher wakes on the channel's socket (and its timer only
// looks, without asking the server, whether a change was told meanwhile), and compares the
// database's counts of changes in place of the files' times.

#include <QObject>
#include <QSocketNotifier>
#include <QStringList>
#include <QTimer>
#include <functional>
#include <map>
#include <memory>

class TAtlasWatcher : public QObject {
public:
  TAtlasWatcher(QStringList folders, QObject* parent = nullptr);

  // Called when the files changed since they were last seen; returns whether the change was
  // taken in (false: asked again at the next look, for a moment when the program is not busy).
  std::function<bool()> OnChanged;

  // One look at the folders (the timer's; also for the tests).
  void Look();

  static constexpr int kIntervalMs = 500;

private:
  // Each file's signature, by path.
  std::map<QString, QString> Signatures() const;
  // Whether there is anything to look at: always for files; for a database, a change told.
  bool ChangeTold();
  void WatchChannel();

  QStringList Folders;
  std::map<QString, QString> Seen;
  QTimer Timer;
  // For folders in a database: the changes it has told, and the socket it tells them on.
  uint64_t Told = 0;
  bool Unsettled = false; // a change seen and not taken in yet (or not seen for an error)
  std::unique_ptr<QSocketNotifier> Channel;
};
