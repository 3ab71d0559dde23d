#pragma once
// The program's own HTML viewer for help and reference pages, used whenever no external viewer
// is configured or found: pages in Windows-1251 or UTF-8, links followed within the folders
// the atlas's pages may come from, back and forward.

#include <QStringList>
#include <QTextBrowser>
#include <QUrl>
#include <QWidget>

class QLabel;
class QToolButton;

// Reads HTML pages as text: the charset a page declares, else UTF-8 when the bytes are valid
// UTF-8, else Windows-1251 (the atlas's pages were written on Windows).
class THtmlPageBrowser : public QTextBrowser {
public:
  explicit THtmlPageBrowser(QWidget* parent = nullptr) : QTextBrowser(parent) {}
  QVariant loadResource(int type, const QUrl& name) override;
  static QString DecodePage(const QByteArray& bytes);
};

class TFormHtmlBrowser : public QWidget {
public:
  // `roots`: the folders links may lead into (the program's and the atlas's).
  explicit TFormHtmlBrowser(const QStringList& roots, QWidget* parent = nullptr);
  // Shows the page (a file name); false, with the reason in the status line, when it is not a
  // readable file within the roots.
  bool Open(const QString& path);
  bool Allowed(const QString& path) const;
  // Shows the program's own help page (built into the program).
  void ShowProgramHelp();
  static const char* const kProgramHelp;

  THtmlPageBrowser* Browser = nullptr;
  QToolButton *sbBack = nullptr, *sbForward = nullptr;
  QLabel* LabelStatus = nullptr;

private:
  void FollowLink(const QUrl& link);
  QStringList Roots;
};
