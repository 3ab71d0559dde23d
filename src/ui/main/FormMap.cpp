// The main window itself: its creation, the tools and their modes, the mouse on the map, the
// panels' splitter, "Що тут?", the about and authors boxes, and closing. The other command
// groups are in the FormMap*.cpp files FormMap.h lists.

#include "FormMap.h"
#include "AtlasCommands.h"
#include "ContentCommands.h"
#include "FormInfoPath.h"
#include "FormOpenAtlas.h"
#include "MapViewCommands.h"
#include "MeasurementCommands.h"
#include "NetworkCommands.h"
#include "PlaceCommands.h"
#include "SmallDialogs.h"

#include "ui/common/ElidedLabel.h"
#include "ui/common/FormMsg.h"
#include "ui/network/FormShutOff.h"
#include "ui/objects/FormAttributeTable.h"
#include "ui/objects/FormIdentify.h"
#include "ui/objects/FormSelectInfo.h"
#include "ui/panels/LayerPanels.h"

#include "base/PathResolver.h"
#include "base/UserMessages.h"
#include "core/CatClass.h"
#include "data/DataModule.h"
#include "db/Error.h"
#include "gis/AtlasPlace.h"
#include "overlays/ArrowAnimation.h"
#include "overlays/Distation.h"
#include "platform/HtmlViewer.h"
#include "plugins/ObjectUtils.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QColorDialog>
#include <QFileDialog>
#include <QFileInfo>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPixmap>
#include <QTabWidget>
#include <QTableView>
#include <QToolButton>
#include <QVBoxLayout>
#include <cmath>

namespace {

struct ModeEntry {
  uint8_t Mode;
  const char* Button;
  const char* Text;
};

// The tool modes, the button shown pressed and the text of pnlMode.
const ModeEntry kModes[] = {
    {1, "sbInfo", "Коротка інформація про вказаний об'єкт"},
    {2, "sbEditObject", "Редагування даних вказаного об'єкта"},
    {4, "sbZoomIn", "Збільшення карти"},
    {5, "sbZoomOut", "Зменшення карти"},
    {6, "sbPan", "Зсув (панорама) карти"},
    {7, "sbAddPath", "Вимірювання відстані"},
    {8, "sbDelPath", "Видалення виміру"},
    {30, "sbAddS", "Вимірювання площі"},
    {40, "sbIdentify", "Що тут: усі об'єкти під вказівником"},
    {41, "", "Відключення ділянки: вкажіть трубу водопроводу"},
};

const QStringList kToolButtons = {"sbInfo",    "sbEditObject", "sbZoomIn",  "sbZoomOut", "sbPan",
                                  "sbAddPath", "sbAddS",       "sbDelPath", "sbIdentify"};
const QStringList kMainGroup = {"sbArrow", "sbZoomIn",      "sbZoomOut",
                                "sbPan",   "sbShowPathPnl", "sbIdentify"};

} // namespace

TFormMap::TFormMap(TDataModuleVANDREL& data) : Data(data) {
  // The atlas open, named by its folder, before the program's own caption.
  setWindowTitle(TRecentAtlases::NameOf(Data.DataRoot.isEmpty() ? Data.AppDir : Data.DataRoot) +
                 QString::fromUtf8(" — ") + QString::fromUtf8(kCaption));
  // MainFormHandle: the window the object-utilities components are given.
  plugins::ObjectUtilsRegistry::Instance().SetMainForm(this);
  // The components created while the map loads are given the window as their host.
  plugins::ObjectUtilsRegistry::Instance().SetHost(this);

  auto* central = new QWidget(this);
  auto* outer = new QVBoxLayout(central);
  outer->setContentsMargins(0, 0, 0, 0);
  outer->setSpacing(0);
  auto* middle = new QHBoxLayout();
  middle->setSpacing(0);
  outer->addLayout(middle, 1);
  setCentralWidget(central);

  pnlTools = new QFrame(central);
  pnlTools->setObjectName("pnlTools");
  pnlTools->setFixedWidth(42);
  pnlTools->setToolTip(QString::fromUtf8("Панель кнопок швидкого доступу"));
  middle->addWidget(pnlTools);
  Map = new TFAMap(central);
  Map->setObjectName("Map");
  // The command groups (the map's loading needs the object index and the atlas's place).
  MeasurementCommands = new TMeasurementCommands(*this, Data);
  NetworkCommands = new TNetworkCommands(*this, Data);
  PlaceCommands = new TPlaceCommands(*this, Data);
  ContentCommands = new TContentCommands(*this, Data);
  // Hidden while the splitter is dragged; its place stays, so the panels do not jump.
  QSizePolicy mapPolicy = Map->sizePolicy();
  mapPolicy.setRetainSizeWhenHidden(true);
  Map->setSizePolicy(mapPolicy);
  middle->addWidget(Map, 1);
  BuildPanels(central);
  middle->addWidget(pnlSplit);
  middle->addWidget(pnlLayers);

  auto* pnlStat = new QFrame(central);
  pnlStat->setObjectName("pnlStat");
  pnlStat->setFixedHeight(28);
  pnlStat->setFrameShape(QFrame::StyledPanel);
  auto* stat = new QHBoxLayout(pnlStat);
  stat->setContentsMargins(4, 0, 4, 0);
  pnlMode = new TElidedLabel(pnlStat);
  pnlMode->setObjectName("pnlMode");
  pnlMode->setToolTip(QString::fromUtf8("Панель режиму"));
  stat->addWidget(pnlMode, 1);
  LabelPointer = new QLabel(pnlStat);
  LabelPointer->setObjectName("LabelPointer");
  stat->addWidget(LabelPointer);
  LabelScale = new QLabel(QString::fromUtf8("1 : "), pnlStat);
  LabelScale->setObjectName("LabelScale");
  LabelScale->setMinimumWidth(65);
  LabelScale->setToolTip(QString::fromUtf8("Масштаб"));
  stat->addWidget(LabelScale);
  outer->addWidget(pnlStat);

  BuildToolBar(pnlTools);
  BuildPopOutBars(central);
  BuildMenus();

  Map->Events.OnMouseDown = [this](QMouseEvent* e) { MapMouseDown(e); };
  Map->Events.OnMouseUp = [this](QMouseEvent* e) { MapMouseUp(e); };
  Map->Events.OnDblClick = [this] { MapDblClick(); };
  Map->Events.OnPaint = [this] { MapPaint(); };
  Map->Events.OnIdentify = [this](double x, double y) { ShowObjectsAt(x, y); };
  Map->Events.OnShutOffAt = [this](double x, double y) { NetworkCommands->ShutOffAt(x, y); };
  Map->Events.OnLayersGone = [this] {
    if (Identify) Identify->Forget(); // its objects name layers about to go
  };
  Map->Events.OnSelectionChanged = [this] {
    if (ContentCommands->AttributeTable)
      ContentCommands->AttributeTable->FollowMapSelection(); // the table's choice follows
  };
  Map->Events.OnPointerMoved = [this](double x, double y) {
    LabelPointer->setText(PlaceCommands->Describe(x, y));
  };
  Map->Events.OnLayerError = [this](int layer, const QString& reason) {
    const QString name = layer >= 0 && layer < int(Map->Layers.size())
                             ? Map->Layers[size_t(layer)]->ClassName
                             : QString();
    statusBar();
    pnlMode->setText(QString::fromUtf8("Шар «%1» не намальовано: %2").arg(name, reason));
  };

  Map->Arrow.SetLook(std::make_unique<TArrowAnimation>());
  Map->Measuring.Set(std::make_unique<TDistationLayer>());
  FormInfoPath = new TFormInfoPath(this);
  Map->Measuring.OnPathLengths = [this](const QString& segment, const QString& total) {
    FormInfoPath->SetLengths(segment, total);
  };
  Map->Measuring.OnShowPathLengths = [this](bool show) {
    if (!show) {
      FormInfoPath->hide();
      return;
    }
    if (!FormInfoPath->isVisible()) FormInfoPath->move(Map->mapToGlobal(QPoint(0, 0)));
    FormInfoPath->show();
  };
  Map->Measuring.OnConfirmDelete = [this](const QString& question) {
    return FormMsg ? FormMsg->Ask(question) : base::UserMessages::Current().Confirm(question);
  };
  Map->Measuring.OnAbandoned = [this] {
    SetToolMode(255);
    pnlMode->clear();
  };
  // FormCreate.
  Map->LoadMap(Data.BaseDir, Data.MapsDir, Data.AppDir, Data.RefDir, Data.RoutesDir);
  resize(1180, 760); // where a window manager does not maximize the window
  setWindowState(Qt::WindowMaximized);
  TCursors::Register(1100, TCursors::FromResource("C_ZOOMIN", Qt::CrossCursor));
  TCursors::Register(1101, TCursors::FromResource("C_ZOOMOUT", Qt::CrossCursor));
  TCursors::Register(1102, TCursors::FromResource("C_PAN", Qt::OpenHandCursor));
  TCursors::Register(1103, TCursors::FromResource("C_INFO", Qt::WhatsThisCursor));
  TCursors::Register(1104, TCursors::FromResource("C_PAN_T", Qt::ClosedHandCursor));
  TCursors::Register(1105, TCursors::FromResource("C_INFOPLUS", Qt::WhatsThisCursor));
  TCursors::Register(1111, TCursors::FromResource("C_DELPATH", Qt::ForbiddenCursor));
  Panels = new TLayerPanels(Data, *Map, *lboxLayers, *lboxObjects);
  ContentCommands->InstallPanelCommands();
  Map->ActiveLayer = Map->Layers.empty() ? -1 : 0;
  if (lboxLayers->count() > 0) lboxLayers->setCurrentRow(0);
  const bool editable = Data.WorkMode == 0;
  for (const char* name :
       {"imLayers", "N1", "miCalcTopologicalModel", "N3", "miRebuildIndex", "miAtlasCrs"})
    Action(name)->setVisible(editable);
  // The layers command is offered in work mode 0 only; it works once its window exists.
  Button("sbLayers")->setVisible(editable);
  Button("sbLayers")->setEnabled(Action("imLayers")->isEnabled());
  ViewCommands = new TMapViewCommands(*this, Data);
  AtlasCommands = new TAtlasCommands(*this, Data);
  if (!Data.ReadOnlyReason.isEmpty()) {
    setWindowTitle(windowTitle() + QString::fromUtf8(" (лише читання)"));
    pnlMode->setText(QString::fromUtf8("Атлас лише для читання: ") + Data.ReadOnlyReason);
  }
}

void TFormMap::showEvent(QShowEvent* e) {
  // FormShow: the first entry of both lists is the current one.
  QMainWindow::showEvent(e);
  if (lboxObjects->count() > 0) lboxObjects->setCurrentRow(0);
  if (lboxLayers->count() > 0) lboxLayers->setCurrentRow(0);
}

TFormMap::~TFormMap() {
  // The map control goes after the window's members (it is a child widget): its callbacks,
  // which reach those members, let go first.
  if (Map) Map->LetGoOfCallbacks();
  delete ViewCommands;
  ViewCommands = nullptr;
  auto& registry = plugins::ObjectUtilsRegistry::Instance();
  registry.SetHost(nullptr);
  registry.SetMainForm(nullptr);
}

void TFormMap::ShowObject(int ObjectNumber) {
  const int active = Map->ActiveLayer;
  if (active < 0 || active >= int(Map->Layers.size())) return;
  const TCustomLayer& layer = *Map->Layers[size_t(active)];
  Panels->ShowObjectOnMap(layer.Category, layer.Class, ObjectNumber);
}

QToolButton* TFormMap::Button(const QString& name) const {
  const auto it = Buttons.find(name);
  return it == Buttons.end() ? nullptr : it->second;
}

QAction* TFormMap::Action(const QString& name) const {
  const auto it = Actions.find(name);
  return it == Actions.end() ? nullptr : it->second;
}

QString TFormMap::ScaleCaption(double denominator) {
  const double n = std::nearbyint(denominator);
  const long long value = std::isfinite(n) && std::fabs(n) < 9.2e18 ? (long long)n : 0;
  return QString::fromUtf8("1 : ") + QString::number(value);
}

void TFormMap::ToggleToolPanel(int k) {
  switch (k) {
  case 0:
    Button("sbArrow")->setChecked(false);
    Button("sbShowPathPnl")->setChecked(false);
    pnlDist->hide();
    pnlInfo->hide();
    break;
  case 1:
    pnlDist->setVisible(!pnlDist->isVisible());
    pnlInfo->hide();
    break;
  case 2:
    pnlInfo->setVisible(!pnlInfo->isVisible());
    pnlDist->hide();
    break;
  default:
    break;
  }
  if (pnlInfo->isVisible()) pnlInfo->raise();
  if (pnlDist->isVisible()) pnlDist->raise();
}

void TFormMap::PressInGroup(QToolButton* button, const QStringList& group) {
  // One group: at most one button down, all may be up.
  if (!button->isChecked()) return;
  for (const QString& name : group)
    if (Button(name) != button) Button(name)->setChecked(false);
}

void TFormMap::SetToolMode(uint8_t mode) {
  PreviousToolMode = ToolMode;
  for (const QString& name : kToolButtons)
    Button(name)->setChecked(false);
  if (SelectInfo && SelectInfo->isVisible()) SelectInfo->close();
  for (const ModeEntry& m : kModes)
    if (m.Mode == mode) {
      if (*m.Button) Button(m.Button)->setChecked(true);
      pnlMode->setText(QString::fromUtf8(m.Text));
    }
  ToolMode = mode;
}

void TFormMap::sbArrowClick() {
  PressInGroup(Button("sbArrow"), kMainGroup);
  ToggleToolPanel(2);
}

void TFormMap::sbShowPathPnlClick() {
  PressInGroup(Button("sbShowPathPnl"), kMainGroup);
  ToggleToolPanel(1);
}

void TFormMap::sbInfoClick() {
  ToggleToolPanel(0);
  SetToolMode(1);
  Map->SetMode(TFAMap::ModeInfo);
  Map->SetCursorNumber(1103);
}

void TFormMap::sbEditObjectClick() {
  ToggleToolPanel(0);
  SetToolMode(2);
  Map->SetMode(TFAMap::ModeEdit);
  Map->SetCursorNumber(1103);
}

void TFormMap::sbIdentifyClick() {
  ToggleToolPanel(0);
  SetToolMode(40); // its button down, from the menu too
  PressInGroup(Button("sbIdentify"), kMainGroup);
  Map->SetMode(TFAMap::ModeIdentify);
}

void TFormMap::ShowObjectsAt(double x, double y) {
  if (!Identify) {
    Identify = std::make_unique<TFormIdentify>(this);
    Identify->OnPointAt = [this](const TIdentifiedObject& o) {
      Map->FlashLayerObject(*o.Layer, o.RecordIndex);
    };
    Identify->OnChoose = [this](const TIdentifiedObject& o) {
      if (o.RecordIndex >= 0)
        Map->SetSelection({{o.Layer->Category, o.Layer->Class, o.RecordIndex}});
    };
    Identify->OnOpen = [this](const TIdentifiedObject& o) { OpenIdentified(o); };
  }
  QApplication::setOverrideCursor(Qt::WaitCursor);
  std::vector<TIdentifiedObject> found = Map->ObjectsAt(x, y);
  QApplication::restoreOverrideCursor();
  Identify->ShowObjects(std::move(found), x, y);
  Identify->show();
  Identify->raise();
}

void TFormMap::OpenIdentified(const TIdentifiedObject& o) {
  try {
    // The object's component card where its layer has one, else the information window of
    // points kept in a table.
    if (o.Layer->ObjectUtils && o.ObjectCode >= 0) return o.Layer->ShowObjectCard(o.ObjectCode);
    if (SelectInfo && o.Layer->ObjectRowsTable() && o.RecordIndex >= 0) {
      if (!SelectInfo->isVisible()) SelectInfo->show();
      SelectInfo->ShowInfo(o.Layer->Category, o.Layer->Class, o.RecordIndex);
      return;
    }
    pnlMode->setText(
        QString::fromUtf8("Для шару «%1» немає картки об'єкта")
            .arg(o.Layer->ClassName.isEmpty() ? o.Layer->FileName : o.Layer->ClassName));
  } catch (const std::exception& e) {
    base::UserMessages::Current().ShowMessage(QString::fromUtf8(e.what()));
  }
}

void TFormMap::sbZoomInClick() {
  ToggleToolPanel(0);
  SetToolMode(4);
  Map->SetMode(TFAMap::ModeZoomIn);
  Map->SetCursorNumber(1100);
}

void TFormMap::sbZoomOutClick() {
  ToggleToolPanel(0);
  SetToolMode(5);
  Map->SetMode(TFAMap::ModeZoomOut);
  Map->SetCursorNumber(1101);
}

void TFormMap::sbPanClick() {
  ToggleToolPanel(0);
  SetToolMode(6);
  Button("sbPan")->setChecked(true);
  Map->SetMode(TFAMap::ModePan);
  Map->SetCursorNumber(1102);
}

void TFormMap::sbGlobeClick() {
  ToggleToolPanel(0);
  Map->ShowWholeMap();
}

void TFormMap::imHelpClick() {
  // The help lies beside the program; an atlas opened elsewhere may bring its own.
  QString help = Data.AppDir + "/HELP/INDEX.HTM";
  if (!QFileInfo::exists(help)) help = Data.DataRoot + "/HELP/INDEX.HTM";
  ContentCommands->OpenDocument(help);
}

void TFormMap::imToolBarClick() {
  pnlTools->setVisible(Action("imToolBar")->isChecked());
  Map->Redraw();
}

void TFormMap::imLayersPanelClick() {
  if (Action("imLayersPanel")->isChecked()) {
    pnlSplit->show();
    pnlLayers->show();
  } else {
    pnlLayers->hide();
    pnlSplit->hide();
  }
  Map->Redraw();
}

void TFormMap::imExitClick() {
  close();
}

void TFormMap::MapMouseDown(QMouseEvent* e) {
  if (e->button() == Qt::RightButton) {
    Action("ppmiChngSymbol")->setVisible(ContentCommands->ActiveLayerHasOwnSymbol());
    ppmnMap->popup(e->globalPosition().toPoint());
    return;
  }
  if (Map->Mode == TFAMap::ModePan && e->button() == Qt::LeftButton) {
    SavedCursor = Map->cursor();
    PanCursorSaved = true;
    Map->setCursor(TCursors::Get(1104));
  }
  if (Map->Mode == TFAMap::ModeInfo) Map->ClearSelection();
}

void TFormMap::MapMouseUp(QMouseEvent* e) {
  // Only the release that ends a pan puts back the cursor its press saved.
  if (Map->Mode == TFAMap::ModePan && e->button() == Qt::LeftButton && PanCursorSaved) {
    Map->setCursor(SavedCursor);
    PanCursorSaved = false;
  }
  if (Map->Mode == TFAMap::ModeInfo && !Map->Selection.empty() && Button("sbInfo")->isChecked()) {
    const TSelectedObject& last = Map->Selection.back();
    if (SelectInfo) {
      if (!SelectInfo->isVisible()) SelectInfo->show();
      SelectInfo->ShowInfo(last.Category, last.Class, last.ObjectIndex);
    }
    Action("ppmiInfoPlus")->setVisible(true);
  }
}

void TFormMap::MapDblClick() {
  if (Button("sbAddPath")->isChecked() || Button("sbAddS")->isChecked()) {
    SetToolMode(255);
    pnlMode->clear();
  }
}

void TFormMap::MapPaint() {
  LabelScale->setText(ScaleCaption(Map->World.ScaleDenominator));
  if (Panels) Panels->Repaint(); // a layer that failed to draw is shown so
}

bool TFormMap::eventFilter(QObject* watched, QEvent* e) {
  if (watched == pnlDistColor && e->type() == QEvent::MouseButtonRelease) {
    MeasurementCommands->pnlDistColorClick();
    return true;
  }
  if (watched != pnlSplit) return QMainWindow::eventFilter(watched, e);
  // The pointer is followed in screen coordinates: the splitter itself moves while the panel
  // widens, and the layout applies a new width only later, so positions relative to the
  // splitter would count the same distance twice.
  if (e->type() != QEvent::MouseButtonPress && e->type() != QEvent::MouseMove &&
      e->type() != QEvent::MouseButtonRelease)
    return false;
  auto* mouse = static_cast<QMouseEvent*>(e);
  switch (e->type()) {
  case QEvent::MouseButtonPress:
    if (mouse->button() != Qt::LeftButton) return true;
    SplitDragging = true;
    SplitStartX = int(mouse->globalPosition().x());
    SplitStartWidth = pnlLayers->width();
    Map->hide(); // its place is kept, so nothing else moves
    return true;
  case QEvent::MouseMove:
    if (SplitDragging)
      SetPanelWidth(SplitStartWidth + SplitStartX - int(mouse->globalPosition().x()));
    return true;
  case QEvent::MouseButtonRelease:
    if (!SplitDragging) return true;
    SplitDragging = false;
    Map->show();
    Map->Redraw();
    return true;
  default:
    return true;
  }
}

void TFormMap::SetPanelWidth(int width) {
  // The panel keeps room for its lines, and the map keeps room to be seen.
  const int widest = centralWidget()->width() - pnlTools->width() - pnlSplit->width() - 100;
  pnlLayers->setFixedWidth(std::clamp(width, 60, std::max(60, widest)));
}

void TFormMap::resizeEvent(QResizeEvent* e) {
  // The map control redraws itself when its own size changes.
  QMainWindow::resizeEvent(e);
}

void TFormMap::closeEvent(QCloseEvent* e) {
  if (!MeasurementCommands->MeasurementsMayGo()) {
    e->ignore();
    return;
  }
  ClearNodeList(Panels->LayerNodes);
  ClearTreeList(Panels->TreeNodes);
  lboxLayers->clear();
  lboxObjects->clear();
  Map->CloseMap();
  e->accept();
}

void TFormMap::imAboutClick() {
  TFormAboutBox box(this);
  box.exec();
}

void TFormMap::miAuthorsClick() {
  TFormAuthors box(this);
  box.exec();
}

void TFormMap::ppmiInfoPlusClick() {
  ShowObjectInfoFile(-1, -1, -1);
}

void TFormMap::ShowObjectInfoFile(int category, int cls, int record) {
  if (category < 0) {
    if (Map->Selection.empty()) return;
    const TSelectedObject& last = Map->Selection.back();
    category = last.Category;
    cls = last.Class;
    record = last.ObjectIndex;
  }
  const QString table = GetAttributeTableName(Data.TableClasses, category, cls);
  if (table.isEmpty()) return;
  QString document;
  try {
    db::Table t(Data.MapsDir, table);
    t.Open();
    if (record >= 0 && record < t.RecordCount()) {
      t.SetRecNo(record + 1);
      if (db::Field* f = t.FindField("InfoFile")) document = f->AsString();
    }
  } catch (const db::Error&) {
    // A table that cannot be read has no document to offer.
  }
  if (document.isEmpty()) {
    base::UserMessages::Current().ShowMessage(
        QString::fromUtf8("Додаткова інформація по даному об'єкту відсутня."));
    return;
  }
  // The documents were named on Windows: "\" separators and any letter case.
  ContentCommands->OpenDocument(base::ResolvePath(Data.RefDir, document));
}
