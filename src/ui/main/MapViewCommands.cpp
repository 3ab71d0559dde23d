#include "MapViewCommands.h"

#include "FormMap.h"
#include "OverviewPanel.h"

#include "base/FileError.h"
#include "base/UserMessages.h"
#include "core/FAMap.h"
#include "core/MapPicture.h"
#include "data/DataModule.h"
#include "gfx/ScaleBar.h"

#include <QAction>
#include <QCheckBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QFormLayout>
#include <QFrame>
#include <QHBoxLayout>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPainter>
#include <QPushButton>
#include <QRegularExpression>
#include <QRegularExpressionValidator>
#include <QShortcut>
#include <QSpinBox>
#include <QToolButton>
#include <cmath>

TMapViewCommands::TMapViewCommands(TFormMap& form, TDataModuleVANDREL& data)
    : QObject(&form), Bookmarks(data.AppDir, data.DataRoot), Form(form) {
  BuildActions();
  BuildToolButtons();
  BuildScaleBox();
  BuildKeys();
  Overview = new TOverviewPanel(*Form.Map, &Form);
  Form.addDockWidget(Qt::RightDockWidgetArea, Overview);
  Overview->hide();
  connect(ActionOverview, &QAction::toggled, Overview, &QWidget::setVisible);
  connect(Overview, &QDockWidget::visibilityChanged, this, [this](bool shown) {
    // Closed by its own button, or by the window's layout: the menu follows.
    if (!Form.isVisible()) return;
    QSignalBlocker block(ActionOverview);
    ActionOverview->setChecked(shown);
  });
  // The map's painting and its pointer buttons are followed after the window's own handling.
  MapPainted = Form.Map->Events.OnPaint;
  Form.Map->Events.OnPaint = [this] {
    if (MapPainted) MapPainted();
    ViewShown();
  };
  Form.Map->Events.OnPaintOverlay = [this](QPainter& painter) {
    gfx::DrawScaleBar(painter, Form.Map->rect(), Form.Map->World.Scale);
  };
  Form.Map->installEventFilter(this);
  UpdateButtons();
}

TMapViewCommands::~TMapViewCommands() {
  Form.Map->removeEventFilter(this);
  Form.Map->Events.OnPaint = MapPainted;
  Form.Map->Events.OnPaintOverlay = nullptr;
  Overview->disconnect(this);
}

// ---------------------------------------------------------------- building

void TMapViewCommands::BuildActions() {
  const auto make = [this](const char* name, const char* caption) {
    auto* a = new QAction(QString::fromUtf8(caption), &Form);
    a->setObjectName(name);
    return a;
  };
  ActionBack = make("imPrevView", "Попередній вид");
  ActionBack->setShortcut(QKeySequence(Qt::ALT | Qt::Key_Left));
  ActionForward = make("imNextView", "Наступний вид");
  ActionForward->setShortcut(QKeySequence(Qt::ALT | Qt::Key_Right));
  ActionOverview = make("imOverview", "Оглядова карта");
  ActionOverview->setCheckable(true);
  ActionExport = make("imExportMap", "Експорт карти ...");
  ActionAddBookmark = make("imAddBookmark", "Додати закладку ...");
  ActionRemoveBookmark = make("imRemoveBookmark", "Видалити закладку ...");
  connect(ActionBack, &QAction::triggered, this, [this] { GoBack(); });
  connect(ActionForward, &QAction::triggered, this, [this] { GoForward(); });
  connect(ActionExport, &QAction::triggered, this, [this] { ExportWithDialog(); });
  connect(ActionAddBookmark, &QAction::triggered, this, [this] { AskBookmarkName(); });
  connect(ActionRemoveBookmark, &QAction::triggered, this, [this] { AskBookmarkToRemove(); });

  // In the map menu, before its last separator and "Вихід".
  QMenu* view = Form.menuBar()->findChild<QMenu*>("miView");
  QAction* before = Form.Action("N2");
  view->insertSeparator(before);
  view->insertAction(before, ActionBack);
  view->insertAction(before, ActionForward);
  BookmarksMenu = new QMenu(QString::fromUtf8("Закладки"), view);
  BookmarksMenu->setObjectName("miBookmarks");
  view->insertMenu(before, BookmarksMenu);
  view->insertAction(before, ActionOverview);
  view->insertAction(before, ActionExport);
  connect(BookmarksMenu, &QMenu::aboutToShow, this, [this] { FillBookmarksMenu(); });
  FillBookmarksMenu();
}

void TMapViewCommands::BuildToolButtons() {
  const auto make = [this](QAction* action, const char* name, const char* glyph, int y) {
    auto* b = new QToolButton(Form.pnlTools);
    b->setObjectName(name);
    b->setText(QString::fromUtf8(glyph));
    b->setToolTip(action->text() + " (" + action->shortcut().toString(QKeySequence::NativeText) +
                  ")");
    b->setGeometry(1, y, 40, 25);
    b->setAutoRaise(true);
    connect(b, &QToolButton::clicked, action, &QAction::trigger);
    return b;
  };
  // Below the help button.
  sbBack = make(ActionBack, "sbPrevView", "◄", 330);
  sbForward = make(ActionForward, "sbNextView", "►", 355);
}

void TMapViewCommands::BuildScaleBox() {
  auto* status = Form.findChild<QFrame*>("pnlStat");
  auto* layout = static_cast<QHBoxLayout*>(status->layout());
  edtScale = new QLineEdit(status);
  edtScale->setObjectName("edtScale");
  edtScale->setToolTip(QString::fromUtf8("Масштаб 1 : N — введіть N і натисніть Enter"));
  // Digits only; any of them is taken to Enter, which refuses what is not a scale (0, nothing)
  // and gives the box back the map's scale.
  edtScale->setValidator(
      new QRegularExpressionValidator(QRegularExpression("[0-9]{0,9}"), edtScale));
  edtScale->setFixedWidth(90);
  layout->addWidget(new QLabel(QString::fromUtf8("Масштаб 1 :"), status));
  layout->addWidget(edtScale);
  connect(edtScale, &QLineEdit::returnPressed, this, [this] {
    const bool zoomed = ZoomToScale(edtScale->text().toDouble());
    // The box shows the scale the map came to (a value out of the map's range is clamped), or
    // the one it kept (a value refused).
    ShowMapScale();
    if (zoomed) Form.Map->setFocus();
  });
  // Left without Enter: what was typed and not applied is not shown as the map's scale.
  connect(edtScale, &QLineEdit::editingFinished, this, [this] { ShowMapScale(); });
}

void TMapViewCommands::ShowMapScale() {
  const double denominator = Form.Map->World.ScaleDenominator;
  if (!(denominator > 0) || !std::isfinite(denominator)) return;
  edtScale->setText(QString::number(std::llround(std::min(denominator, 1e12))));
}

void TMapViewCommands::BuildKeys() {
  // Keys of the map itself: the lists keep their arrow keys.
  const auto key = [this](QKeySequence sequence, auto handler) {
    auto* s = new QShortcut(sequence, Form.Map);
    s->setContext(Qt::WidgetShortcut);
    connect(s, &QShortcut::activated, this, handler);
  };
  key(QKeySequence(Qt::Key_Plus), [this] { ZoomAboutCentre(0.5); });
  key(QKeySequence(Qt::Key_Equal), [this] { ZoomAboutCentre(0.5); });
  key(QKeySequence(Qt::Key_Minus), [this] { ZoomAboutCentre(2); });
  key(QKeySequence(Qt::Key_Left), [this] { PanBy(-0.25, 0); });
  key(QKeySequence(Qt::Key_Right), [this] { PanBy(0.25, 0); });
  key(QKeySequence(Qt::Key_Up), [this] { PanBy(0, 0.25); });
  key(QKeySequence(Qt::Key_Down), [this] { PanBy(0, -0.25); });
  key(QKeySequence(Qt::Key_Home), [this] { Form.Map->ShowWholeMap(); });
  // The keypad's plus and minus come with the keypad modifier.
  key(QKeySequence(Qt::KeypadModifier | Qt::Key_Plus), [this] { ZoomAboutCentre(0.5); });
  key(QKeySequence(Qt::KeypadModifier | Qt::Key_Minus), [this] { ZoomAboutCentre(2); });
}

// ---------------------------------------------------------------- views

void TMapViewCommands::ViewShown() {
  TFAMap& map = *Form.Map;
  const TExtent view = map.World.VisibleExtent;
  if (!(view.XMax > view.XMin)) return; // nothing drawn yet
  if (Stepping || map.size() != LastMapSize)
    History.ReplaceCurrent(view);
  else
    History.Visit(view);
  Stepping = false;
  LastMapSize = map.size();
  if (!edtScale->hasFocus()) ShowMapScale(); // never over what is being typed
  // The overview is drawn again when layers were switched on or off, added or taken away.
  QByteArray layers;
  for (const auto& layer : map.Layers)
    layers += layer->Visibled ? '1' : '0';
  if (layers != LayersShown) {
    LayersShown = layers;
    Overview->Overview->Invalidate();
  }
  if (Overview->isVisible()) Overview->Overview->update();
  UpdateButtons();
}

void TMapViewCommands::UpdateButtons() {
  ActionBack->setEnabled(History.CanGoBack());
  ActionForward->setEnabled(History.CanGoForward());
  sbBack->setEnabled(History.CanGoBack());
  sbForward->setEnabled(History.CanGoForward());
}

void TMapViewCommands::ShowView(const TExtent& view) {
  Form.Map->World.ViewExtent = view;
  Form.Map->Redraw();
  // Whatever brought the view (a menu, a bookmark, the overview), the keys then move the map.
  Form.Map->setFocus();
}

void TMapViewCommands::GoBack() {
  if (!History.CanGoBack()) return;
  Stepping = true;
  ShowView(History.Back());
}

void TMapViewCommands::GoForward() {
  if (!History.CanGoForward()) return;
  Stepping = true;
  ShowView(History.Forward());
}

// The keys are a gesture as the wheel is: held or pressed again and again, the view moves at
// once and is drawn when they pause.
void TMapViewCommands::ZoomAboutCentre(double factor) {
  const TExtent& v = Form.Map->World.VisibleExtent;
  const double cx = (v.XMin + v.XMax) / 2, cy = (v.YMin + v.YMax) / 2;
  const double hw = (v.XMax - v.XMin) / 2 * factor, hh = (v.YMax - v.YMin) / 2 * factor;
  Form.Map->PreviewView({cx - hw, cy - hh, cx + hw, cy + hh});
}

void TMapViewCommands::PanBy(double dx, double dy) {
  const TExtent& v = Form.Map->World.VisibleExtent;
  const double sx = (v.XMax - v.XMin) * dx, sy = (v.YMax - v.YMin) * dy;
  Form.Map->PreviewView({v.XMin + sx, v.YMin + sy, v.XMax + sx, v.YMax + sy});
}

bool TMapViewCommands::ZoomToScale(double denominator) {
  const TWorld& w = Form.Map->World;
  if (!(denominator >= 1) || !std::isfinite(denominator) || !(w.DeviceWidthM > 0)) return false;
  // The denominator is the ground width shown over the width of the map on the screen.
  const double width = denominator * w.DeviceWidthM;
  const double height = width * std::max(1, Form.Map->height()) / std::max(1, Form.Map->width());
  const TExtent& v = w.VisibleExtent;
  const double cx = (v.XMin + v.XMax) / 2, cy = (v.YMin + v.YMax) / 2;
  ShowView({cx - width / 2, cy - height / 2, cx + width / 2, cy + height / 2});
  return true;
}

bool TMapViewCommands::eventFilter(QObject* watched, QEvent* e) {
  const bool press = e->type() == QEvent::MouseButtonPress;
  if (watched == Form.Map && (press || e->type() == QEvent::MouseButtonRelease ||
                              e->type() == QEvent::MouseButtonDblClick)) {
    const auto button = static_cast<QMouseEvent*>(e)->button();
    // The side buttons step through the views and are none of the map's tools' business.
    if ((button == Qt::BackButton || button == Qt::ForwardButton) && !press) return true;
    if (button == Qt::BackButton) {
      GoBack();
      return true;
    }
    if (button == Qt::ForwardButton) {
      GoForward();
      return true;
    }
  }
  return QObject::eventFilter(watched, e);
}

// ---------------------------------------------------------------- bookmarks

void TMapViewCommands::FillBookmarksMenu() {
  BookmarksMenu->clear();
  BookmarksMenu->addAction(ActionAddBookmark);
  BookmarksMenu->addAction(ActionRemoveBookmark);
  const auto list = Bookmarks.List();
  ActionRemoveBookmark->setEnabled(!list.empty());
  if (!list.empty()) BookmarksMenu->addSeparator();
  for (const auto& [name, view] : list) {
    QAction* go = BookmarksMenu->addAction(name);
    const TExtent target = view;
    connect(go, &QAction::triggered, this, [this, target] { ShowView(target); });
  }
}

QString TMapViewCommands::AddBookmark(const QString& name) {
  try {
    const QString kept = Bookmarks.Add(name, Form.Map->World.VisibleExtent);
    FillBookmarksMenu();
    return kept;
  } catch (const base::FileError& e) {
    base::UserMessages::Current().ShowMessage(QString::fromUtf8("Закладку не збережено: ") +
                                              QString::fromUtf8(e.what()));
    return QString();
  }
}

void TMapViewCommands::AskBookmarkName() {
  bool ok = false;
  const QString name = QInputDialog::getText(
      &Form, QString::fromUtf8("Закладка"), QString::fromUtf8("Назва закладки для поточного виду:"),
      QLineEdit::Normal, QString(), &ok);
  if (ok && !TBookmarks::KeptName(name).isEmpty()) AddBookmark(name);
}

void TMapViewCommands::AskBookmarkToRemove() {
  QStringList names;
  for (const auto& [name, view] : Bookmarks.List())
    names << name;
  if (names.isEmpty()) return;
  bool ok = false;
  const QString name =
      QInputDialog::getItem(&Form, QString::fromUtf8("Закладки"),
                            QString::fromUtf8("Видалити закладку:"), names, 0, false, &ok);
  if (!ok) return;
  try {
    Bookmarks.Remove(name);
  } catch (const base::FileError& e) {
    base::UserMessages::Current().ShowMessage(QString::fromUtf8(e.what()));
  }
  FillBookmarksMenu();
}

// ---------------------------------------------------------------- export

void TMapViewCommands::ExportView(const QString& path, int width, int height, bool scaleBar) {
  TMapPictureOptions options;
  options.Width = width;
  options.Height = height;
  options.Measurements = Form.Map->Measuring.Overlay();
  options.ScaleBar = scaleBar;
  if (path.endsWith(".pdf", Qt::CaseInsensitive)) {
    DrawMapPdf(Form.Map->Content, Form.Map->World.VisibleExtent, options, path);
    return;
  }
  const TMapPicture picture =
      DrawMapPicture(Form.Map->Content, Form.Map->World.VisibleExtent, options);
  SaveMapPicture(picture.Image, path);
}

void TMapViewCommands::ExportWithDialog() {
  QDialog dialog(&Form);
  dialog.setObjectName("FormExportMap");
  dialog.setWindowTitle(QString::fromUtf8("Експорт карти"));
  dialog.setMinimumWidth(460);
  auto* form = new QFormLayout(&dialog);
  auto* width = new QSpinBox(&dialog);
  auto* height = new QSpinBox(&dialog);
  for (QSpinBox* box : {width, height}) {
    box->setRange(16, 20000);
    box->setSuffix(QString::fromUtf8(" пікс."));
  }
  width->setObjectName("edtWidth");
  height->setObjectName("edtHeight");
  width->setValue(Form.Map->width());
  height->setValue(Form.Map->height());
  auto* bar = new QCheckBox(QString::fromUtf8("Лінійка масштабу"), &dialog);
  bar->setChecked(true);
  // The last file exported to, else a picture in the user's home folder.
  if (LastExport.isEmpty()) LastExport = QDir::homePath() + "/map.png";
  auto* file = new QLineEdit(LastExport, &dialog);
  file->setObjectName("edtFile");
  auto* browse = new QPushButton(QString::fromUtf8("Огляд ..."), &dialog);
  auto* fileRow = new QHBoxLayout();
  fileRow->addWidget(file, 1);
  fileRow->addWidget(browse);
  form->addRow(QString::fromUtf8("Ширина:"), width);
  form->addRow(QString::fromUtf8("Висота:"), height);
  form->addRow(QString(), bar);
  form->addRow(QString::fromUtf8("Файл:"), fileRow);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
  form->addRow(buttons);
  QString confirmed; // a file the file dialog already asked about replacing
  connect(browse, &QPushButton::clicked, &dialog, [&] {
    const QString chosen = QFileDialog::getSaveFileName(
        &dialog, QString::fromUtf8("Експорт карти"), file->text(),
        QString::fromUtf8("Малюнок PNG (*.png);;Документ PDF (*.pdf)"));
    if (!chosen.isEmpty()) file->setText(confirmed = chosen);
  });
  connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  if (dialog.exec() != QDialog::Accepted) return;
  QString path = file->text().trimmed();
  if (!path.endsWith(".png", Qt::CaseInsensitive) && !path.endsWith(".pdf", Qt::CaseInsensitive))
    path += ".png";
  // A file typed in the box is not replaced without asking.
  if (path != confirmed && QFileInfo::exists(path) &&
      !base::UserMessages::Current().Confirm(
          QString::fromUtf8("Файл %1 вже існує. Замінити його?").arg(path)))
    return;
  LastExport = path;
  try {
    ExportView(path, width->value(), height->value(), bar->isChecked());
  } catch (const std::exception& e) {
    base::UserMessages::Current().ShowMessage(QString::fromUtf8("Карту не експортовано: ") +
                                              QString::fromUtf8(e.what()));
  }
}
