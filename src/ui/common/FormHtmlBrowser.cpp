#include "FormHtmlBrowser.h"

#include "base/PathResolver.h"
#include "base/TextCodec.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QRegularExpression>
#include <QShortcut>
#include <QStringDecoder>
#include <QToolButton>
#include <QVBoxLayout>

const char* const TFormHtmlBrowser::kProgramHelp = "qrc:/help/vandrel.html";

QString THtmlPageBrowser::DecodePage(const QByteArray& bytes) {
  static const QRegularExpression charset(R"(<meta[^>]*charset\s*=\s*["']?([A-Za-z0-9_\-]+))",
                                          QRegularExpression::CaseInsensitiveOption);
  const QRegularExpressionMatch m = charset.match(QString::fromLatin1(bytes.left(4096)));
  if (m.hasMatch()) {
    base::CodePage cp;
    if (base::CodePageFromName(m.captured(1), cp)) return base::Decode(bytes, cp);
  }
  QStringDecoder utf8(QStringDecoder::Utf8);
  const QString text = utf8.decode(bytes);
  if (!utf8.hasError()) return text;
  return base::Decode(bytes, base::CodePage::Cp1251);
}

QVariant THtmlPageBrowser::loadResource(int type, const QUrl& name) {
  if (type == QTextDocument::HtmlResource && name.isLocalFile()) {
    QFile f(name.toLocalFile());
    if (!f.open(QIODevice::ReadOnly)) return QVariant();
    return DecodePage(f.readAll());
  }
  return QTextBrowser::loadResource(type, name);
}

TFormHtmlBrowser::TFormHtmlBrowser(const QStringList& roots, QWidget* parent)
    : QWidget(parent, Qt::Window) {
  setObjectName("FormHtmlBrowser");
  setWindowTitle(QString::fromUtf8("Перегляд документа"));
  for (const QString& root : roots)
    if (!root.isEmpty()) Roots << QDir(root).canonicalPath();
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(4, 4, 4, 4);
  auto* bar = new QHBoxLayout();
  sbBack = new QToolButton(this);
  sbBack->setObjectName("sbBack");
  sbBack->setText(QString::fromUtf8("← Назад"));
  sbForward = new QToolButton(this);
  sbForward->setObjectName("sbForward");
  sbForward->setText(QString::fromUtf8("Вперед →"));
  bar->addWidget(sbBack);
  bar->addWidget(sbForward);
  bar->addStretch(1);
  layout->addLayout(bar);
  Browser = new THtmlPageBrowser(this);
  Browser->setObjectName("Browser");
  Browser->setOpenLinks(false);
  layout->addWidget(Browser, 1);
  LabelStatus = new QLabel(this);
  LabelStatus->setObjectName("LabelStatus");
  layout->addWidget(LabelStatus);
  sbBack->setEnabled(false);
  sbForward->setEnabled(false);
  connect(sbBack, &QToolButton::clicked, Browser, &QTextBrowser::backward);
  connect(sbForward, &QToolButton::clicked, Browser, &QTextBrowser::forward);
  connect(Browser, &QTextBrowser::backwardAvailable, sbBack, &QToolButton::setEnabled);
  connect(Browser, &QTextBrowser::forwardAvailable, sbForward, &QToolButton::setEnabled);
  connect(Browser, &QTextBrowser::anchorClicked, this,
          [this](const QUrl& link) { FollowLink(link); });
  connect(Browser, &QTextBrowser::sourceChanged, this, [this] {
    setWindowTitle(Browser->documentTitle().isEmpty() ? QString::fromUtf8("Перегляд документа")
                                                      : Browser->documentTitle());
  });
  // Escape closes the window, as it closes the program's other windows.
  auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
  escape->setContext(Qt::WindowShortcut);
  connect(escape, &QShortcut::activated, this, &QWidget::close);
  resize(760, 560);
}

bool TFormHtmlBrowser::Allowed(const QString& path) const {
  const QString file = QFileInfo(path).canonicalFilePath();
  if (file.isEmpty()) return false;
  for (const QString& root : Roots)
    if (file.startsWith(root + "/")) return true;
  return false;
}

bool TFormHtmlBrowser::Open(const QString& path) {
  if (!QFileInfo(path).isFile()) {
    LabelStatus->setText(QString::fromUtf8("Документ не знайдено: ") + path);
    return false;
  }
  if (!Allowed(path)) {
    LabelStatus->setText(QString::fromUtf8("Документ поза теками атласу: ") + path);
    return false;
  }
  LabelStatus->clear();
  Browser->setSource(QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()));
  return true;
}

void TFormHtmlBrowser::ShowProgramHelp() {
  LabelStatus->clear();
  Browser->setSource(QUrl(kProgramHelp));
}

void TFormHtmlBrowser::FollowLink(const QUrl& link) {
  QUrl target = Browser->source().resolved(link);
  if (target.adjusted(QUrl::RemoveFragment) == Browser->source().adjusted(QUrl::RemoveFragment)) {
    Browser->scrollToAnchor(target.fragment()); // a link within the page
    return;
  }
  if (target.isLocalFile()) {
    // Pages written on Windows link to names in any letter case.
    const QFileInfo file(target.toLocalFile());
    if (!file.exists()) {
      const QString fragment = target.fragment();
      target = QUrl::fromLocalFile(base::ResolvePath(file.path(), file.fileName()));
      if (!fragment.isEmpty()) target.setFragment(fragment);
    }
    // A link within the page keeps its page; another page must lie within the atlas's folders.
    if (target.adjusted(QUrl::RemoveFragment) == Browser->source().adjusted(QUrl::RemoveFragment))
      Browser->scrollToAnchor(target.fragment());
    else if (Allowed(target.toLocalFile()))
      Browser->setSource(target);
    else
      LabelStatus->setText(QString::fromUtf8("Документ поза теками атласу: ") +
                           target.toLocalFile());
    return;
  }
  LabelStatus->setText(QString::fromUtf8("Посилання не відкривається у вбудованому оглядачі: ") +
                       link.toString());
}
