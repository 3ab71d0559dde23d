#pragma once
// "Відкрити атлас": the atlases opened last (newest first) and a folder chooser. Used from the
// "Карта" menu, and at start when the data root cannot be opened, in place of ending the
// program. The list is the user's own, kept in the user's configuration folder
// (vandrel/recent-atlases, one UTF-8 path per line), never in an atlas.

#include <QDialog>
#include <QString>
#include <QStringList>

class QLabel;
class QListWidget;
class QPushButton;

class TRecentAtlases {
public:
  // The list's file: `$XDG_CONFIG_HOME/vandrel/recent-atlases` (or ~/.config).
  static QString FilePath();
  static QStringList Read();
  // Puts the atlas first (its absolute path, once); at most kMost are kept. A list that cannot
  // be written is left as it was: the atlas opens all the same.
  static void Remember(const QString& dataRoot);
  static constexpr int kMost = 8;
  // How an atlas is named to the user (the main window's title, this list): its folder's name.
  static QString NameOf(const QString& dataRoot);
};

class TFormOpenAtlas : public QDialog {
public:
  // `problem`: why the atlas given could not be opened (shown above the list), or empty.
  explicit TFormOpenAtlas(const QString& problem = QString(), QWidget* parent = nullptr);

  // Why `dataRoot` cannot be opened as an atlas (its folder or its layers table), or empty.
  static QString ProblemOf(const QString& dataRoot);
  // The atlas chosen, once the dialog was accepted.
  QString Chosen() const { return ChosenRoot; }
  // Accepts `dataRoot` when it can be opened; otherwise says why and stays open.
  bool Choose(const QString& dataRoot);

  QLabel* lblProblem = nullptr;
  QListWidget* lboxRecent = nullptr;
  QPushButton *btnOpen = nullptr, *btnBrowse = nullptr, *btnCancel = nullptr;

private:
  void Browse();
  QString ChosenRoot;
};
