#include "FormOpenAtlas.h"

#include "base/AtomicFile.h"
#include "base/FileError.h"
#include "base/PathResolver.h"
#include "base/RemoteFiles.h"
#include "db/Error.h"
#include "db/Table.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QStandardPaths>
#include <QVBoxLayout>

// ---------------------------------------------------------------- the list

QString TRecentAtlases::FilePath() {
  return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
         "/vandrel/recent-atlases";
}

QString TRecentAtlases::NameOf(const QString& dataRoot) {
  return base::RootName(dataRoot);
}

QStringList TRecentAtlases::Read() {
  QFile file(FilePath());
  if (!file.open(QIODevice::ReadOnly)) return {};
  QStringList atlases;
  for (const QByteArray& line : file.readAll().split('\n')) {
    const QString path = QString::fromUtf8(line.trimmed());
    if (!path.isEmpty() && !atlases.contains(path) && atlases.size() < kMost) atlases << path;
  }
  return atlases;
}

void TRecentAtlases::Remember(const QString& dataRoot) {
  const QString path = base::AbsoluteRoot(dataRoot);
  QStringList atlases = Read();
  atlases.removeAll(path);
  atlases.prepend(path);
  while (atlases.size() > kMost)
    atlases.removeLast();
  try {
    QDir().mkpath(QFileInfo(FilePath()).path());
    base::WriteFileAtomically(FilePath(), (atlases.join('\n') + '\n').toUtf8());
  } catch (const std::exception&) {
    // A configuration folder that cannot be written: the list stays as it was.
  }
}

// ---------------------------------------------------------------- the window

TFormOpenAtlas::TFormOpenAtlas(const QString& problem, QWidget* parent) : QDialog(parent) {
  setObjectName("FormOpenAtlas");
  setWindowTitle(QString::fromUtf8("Відкрити атлас"));
  resize(560, 340);
  auto* layout = new QVBoxLayout(this);
  lblProblem = new QLabel(problem, this);
  lblProblem->setObjectName("lblProblem");
  lblProblem->setWordWrap(true);
  lblProblem->setStyleSheet("color: #A00000");
  lblProblem->setVisible(!problem.isEmpty());
  layout->addWidget(lblProblem);
  layout->addWidget(new QLabel(QString::fromUtf8("Останні атласи:"), this));
  lboxRecent = new QListWidget(this);
  lboxRecent->setObjectName("lboxRecent");
  for (const QString& atlas : TRecentAtlases::Read()) {
    // Named as the main window's title names it, with its folder beside.
    auto* item = new QListWidgetItem(TRecentAtlases::NameOf(atlas) + "  —  " + atlas, lboxRecent);
    item->setData(Qt::UserRole, atlas);
    item->setToolTip(atlas);
    // An atlas no longer there stays listed (a network folder may be away for a while), greyed.
    // A folder gone is greyed; a database is not asked until it is chosen.
    if (!base::RemoteFileKindOf(atlas) && !QFileInfo(atlas).isDir()) item->setForeground(Qt::gray);
  }
  if (lboxRecent->count() > 0) lboxRecent->setCurrentRow(0);
  layout->addWidget(lboxRecent, 1);
  auto* buttons = new QHBoxLayout();
  btnBrowse = new QPushButton(QString::fromUtf8("Огляд ..."), this);
  btnBrowse->setObjectName("btnBrowse");
  btnOpen = new QPushButton(QString::fromUtf8("Відкрити"), this);
  btnOpen->setObjectName("btnOpen");
  btnOpen->setDefault(true);
  btnCancel = new QPushButton(QString::fromUtf8("Скасувати"), this);
  btnCancel->setObjectName("btnCancel");
  buttons->addWidget(btnBrowse);
  buttons->addStretch(1);
  buttons->addWidget(btnOpen);
  buttons->addWidget(btnCancel);
  layout->addLayout(buttons);
  btnOpen->setEnabled(lboxRecent->count() > 0);
  connect(btnBrowse, &QPushButton::clicked, this, [this] { Browse(); });
  connect(btnCancel, &QPushButton::clicked, this, &QDialog::reject);
  connect(btnOpen, &QPushButton::clicked, this, [this] {
    if (QListWidgetItem* item = lboxRecent->currentItem())
      Choose(item->data(Qt::UserRole).toString());
  });
  connect(lboxRecent, &QListWidget::itemDoubleClicked, this,
          [this](QListWidgetItem* item) { Choose(item->data(Qt::UserRole).toString()); });
}

QString TFormOpenAtlas::ProblemOf(const QString& dataRoot) {
  try {
    if (!base::PathExists(dataRoot))
      return QString::fromUtf8("Каталог даних %1 не існує або не є каталогом.").arg(dataRoot);
    db::Table layers(base::ResolvePath(dataRoot, "BASE"), "classreest.DB");
    layers.Open();
  } catch (const db::Error& e) {
    return QString::fromUtf8("%1 не є атласом: %2").arg(dataRoot, e.Message);
  } catch (const base::FileError& e) { // a database that cannot be reached
    return QString::fromUtf8(e.what());
  }
  return QString();
}

bool TFormOpenAtlas::Choose(const QString& dataRoot) {
  const QString problem = ProblemOf(dataRoot);
  if (!problem.isEmpty()) {
    lblProblem->setText(problem);
    lblProblem->show();
    return false;
  }
  ChosenRoot = base::AbsoluteRoot(dataRoot);
  accept();
  return true;
}

void TFormOpenAtlas::Browse() {
  const QString start = lboxRecent->currentItem()
                            ? lboxRecent->currentItem()->data(Qt::UserRole).toString()
                            : QString();
  const QString dir = QFileDialog::getExistingDirectory(
      this, QString::fromUtf8("Тека атласу (з підтеками BASE і MAPS)"), start);
  if (!dir.isEmpty()) Choose(dir);
}
