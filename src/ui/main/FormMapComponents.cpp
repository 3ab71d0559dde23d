// The main window's components: the tool bar, its pop-out bars of information and measurement
// tools, the layer and object panels, and the menus with their commands.

#include "FormMap.h"

#include "data/DataModule.h"

#include <QAction>
#include <QFrame>
#include <QListWidget>
#include <QMenuBar>
#include <QPixmap>
#include <QTabWidget>
#include <QToolButton>
#include <QVBoxLayout>

QToolButton* TFormMap::AddButton(QWidget* parent, const QString& name, const QString& hint,
                                 const QString& glyph, int x, int y, bool latch,
                                 void (TFormMap::*handler)()) {
  auto* b = new QToolButton(parent);
  b->setObjectName(name);
  b->setToolTip(hint);
  b->setGeometry(x, y, 40, 25);
  const QPixmap icon(":/glyphs/" + glyph + ".xpm");
  if (icon.isNull())
    b->setText(glyph);
  else
    b->setIcon(QIcon(icon));
  b->setCheckable(latch);
  b->setAutoRaise(true);
  if (handler) connect(b, &QToolButton::clicked, this, [this, handler] { (this->*handler)(); });
  Buttons[name] = b;
  return b;
}

void TFormMap::BuildToolBar(QWidget* host) {
  AddButton(host, "sbArrow", QString::fromUtf8("Вказати на карті"), "arrow", 1, 1, true,
            &TFormMap::sbArrowClick);
  AddButton(host, "sbZoomIn", QString::fromUtf8("Збільшити карту"), "zoomin", 1, 26, true,
            &TFormMap::sbZoomInClick);
  AddButton(host, "sbZoomOut", QString::fromUtf8("Зменшити карту"), "zoomout", 1, 51, true,
            &TFormMap::sbZoomOutClick);
  AddButton(host, "sbPan", QString::fromUtf8("Зсунути карту"), "pan", 1, 76, true,
            &TFormMap::sbPanClick);
  AddButton(host, "sbGlobe", QString::fromUtf8("Вся карта"), "globe", 1, 101, false,
            &TFormMap::sbGlobeClick);
  AddButton(host, "sbShowPathPnl", QString::fromUtf8("Виміри"), "ruler", 1, 141, true,
            &TFormMap::sbShowPathPnlClick);
  AddButton(host, "sbStreets", QString::fromUtf8("Пошук вулиць"), QString::fromUtf8("Вул"), 1, 178,
            false, &TFormMap::sbStreetsClick)
      ->setEnabled(false);
  AddButton(host, "sbAddress", QString::fromUtf8("Пошук адрес"), QString::fromUtf8("Адр"), 1, 203,
            false, &TFormMap::sbAddressClick)
      ->setEnabled(false);
  AddButton(host, "sbIdentify", QString::fromUtf8("Що тут? (I)"), QString::fromUtf8("Що"), 1, 236,
            true, &TFormMap::sbIdentifyClick)
      ->setText(QString::fromUtf8("Що"));
  AddButton(host, "sbLayers", QString::fromUtf8("Шари"), "layers", 1, 268, false,
            &TFormMap::sbLayersClick);
  AddButton(host, "sbtnHelp", QString::fromUtf8("Допомога користувачеві"), "help", 1, 293, false,
            &TFormMap::imHelpClick);
  // The search window is reached once it exists (SetObjectList).
  Button("sbStreets")->setText(QString::fromUtf8("Вул"));
  Button("sbAddress")->setText(QString::fromUtf8("Адр"));
}

void TFormMap::BuildPopOutBars(QWidget* host) {
  pnlInfo = new QFrame(host);
  pnlInfo->setObjectName("pnlInfo");
  pnlInfo->setFrameShape(QFrame::Panel);
  pnlInfo->setAutoFillBackground(true);
  pnlInfo->setGeometry(40, 0, 85, 31);
  AddButton(pnlInfo, "sbInfo", QString::fromUtf8("Коротка інформація про вказаний об'єкт"), "info",
            2, 3, true, &TFormMap::sbInfoClick);
  AddButton(pnlInfo, "sbEditObject", QString::fromUtf8("Редагування даних об'єкта"), "edit", 43, 3,
            true, &TFormMap::sbEditObjectClick);
  pnlInfo->hide();

  pnlDist = new QFrame(host);
  pnlDist->setObjectName("pnlDist");
  pnlDist->setFrameShape(QFrame::Panel);
  pnlDist->setAutoFillBackground(true);
  pnlDist->setGeometry(41, 140, 258, 45);
  const struct {
    const char *Name, *Hint, *Glyph;
    int X;
    bool Latch;
    void (TFormMap::*Handler)();
  } buttons[] = {
      {"sbAddPath", "Вимірювання відстані", "addpath", 4, true, &TFormMap::sbAddPathClick},
      {"sbAddS", "Вимірювання площі", "addarea", 46, true, &TFormMap::sbAddSClick},
      {"sbDelPath", "Видалення виміру", "delpath", 87, true, &TFormMap::sbDelPathClick},
      {"sbLoadPath", "Завантаження вимірів з файлу", "load", 129, false,
       &TFormMap::sbLoadPathClick},
      {"sbSavePath", "Збереження вимірів в файлі", "save", 171, false, &TFormMap::sbSavePathClick},
      {"sbErasePaths", "Вихід і видалення всіх вимірів", "erase", 213, false,
       &TFormMap::sbErasePathsClick}};
  for (const auto& b : buttons)
    AddButton(pnlDist, b.Name, QString::fromUtf8(b.Hint), b.Glyph, b.X, 2, b.Latch, b.Handler);
  pnlDistColor = new QFrame(pnlDist);
  pnlDistColor->setObjectName("pnlDistColor");
  pnlDistColor->setGeometry(4, 30, 249, 11);
  pnlDistColor->setFrameShape(QFrame::Box);
  pnlDistColor->setToolTip(QString::fromUtf8("Колір вимірів"));
  pnlDistColor->installEventFilter(this);
  SetMeasureColor(MeasureColor);
  pnlDist->hide();
}

void TFormMap::BuildPanels(QWidget* host) {
  pnlSplit = new QFrame(host);
  pnlSplit->setObjectName("pnlSplit");
  pnlSplit->setFixedWidth(3);
  pnlSplit->setCursor(Qt::SplitHCursor);
  pnlSplit->setFrameShape(QFrame::VLine);
  pnlSplit->installEventFilter(this);
  pnlLayers = new QFrame(host);
  pnlLayers->setObjectName("pnlLayers");
  pnlLayers->setFixedWidth(200);
  auto* layout = new QVBoxLayout(pnlLayers);
  layout->setContentsMargins(0, 0, 0, 0);
  pgctlLayers = new QTabWidget(pnlLayers);
  pgctlLayers->setObjectName("pgctlLayers");
  lboxObjects = new QListWidget();
  lboxObjects->setObjectName("lboxObjects");
  lboxLayers = new QListWidget();
  lboxLayers->setObjectName("lboxLayers");
  pgctlLayers->addTab(lboxObjects, QString::fromUtf8("Об'єкти"));
  pgctlLayers->addTab(lboxLayers, QString::fromUtf8("Шари"));
  pgctlLayers->setCurrentIndex(0);
  layout->addWidget(pgctlLayers);
}

void TFormMap::BuildMenus() {
  auto add = [this](QMenu* menu, const char* name, const char* caption,
                    void (TFormMap::*handler)() = nullptr) {
    QAction* a = QString(caption) == "-" ? menu->addSeparator()
                                         : menu->addAction(QString::fromUtf8(caption));
    a->setObjectName(name);
    if (handler)
      connect(a, &QAction::triggered, this, [this, handler] { (this->*handler)(); });
    else if (!a->isSeparator())
      a->setEnabled(false); // its window comes in a later step
    Actions[name] = a;
    return a;
  };
  QMenu* view = menuBar()->addMenu(QString::fromUtf8("&Карта"));
  view->setObjectName("miView");
  add(view, "imZoomIn", "&Збільшити", &TFormMap::sbZoomInClick);
  add(view, "imZoomOut", "З&меншити", &TFormMap::sbZoomOutClick);
  add(view, "imPan", "З&сунути", &TFormMap::sbPanClick);
  add(view, "imGlobe", "&Уся карта", &TFormMap::sbGlobeClick);
  add(view, "imIdentify", "Що &тут?", &TFormMap::sbIdentifyClick);
  Actions["imIdentify"]->setShortcut(QKeySequence(Qt::Key_I));
  add(view, "miGoToCoordinates", "Перейти до координат ...", &TFormMap::miGoToCoordinatesClick)
      ->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_G));
  add(view, "imPrint", "Друк ...", &TFormMap::imPrintClick)
      ->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_P));
  add(view, "N2", "-");
  add(view, "imOpenAtlas", "Відкрити атлас ...", &TFormMap::imOpenAtlasClick);
  add(view, "imExit", "Вихід", &TFormMap::imExitClick);
  QMenu* distat = menuBar()->addMenu(QString::fromUtf8("Виміри"));
  distat->setObjectName("miDistat");
  add(distat, "imAddPath", "Виміряти відстань", &TFormMap::sbAddPathClick);
  add(distat, "imAddS", "Виміряти площу", &TFormMap::sbAddSClick);
  add(distat, "imDelPath", "Видалити вимір", &TFormMap::sbDelPathClick);
  add(distat, "N8", "-");
  add(distat, "imLoadPaths", "Завантажити ...", &TFormMap::sbLoadPathClick);
  add(distat, "imSavePaths", "Зберегти ...", &TFormMap::sbSavePathClick);
  add(distat, "N12", "-");
  add(distat, "imErathPaths", "Очистити", &TFormMap::sbErasePathsClick);
  QMenu* list = menuBar()->addMenu(QString::fromUtf8("Пошук"));
  list->setObjectName("miList");
  add(list, "miStreets", "Пошук вулиць", &TFormMap::sbStreetsClick)->setEnabled(false);
  add(list, "miAddress", "Пошук адрес", &TFormMap::sbAddressClick)->setEnabled(false);
  QMenu* settings = menuBar()->addMenu(QString::fromUtf8("&Установки"));
  settings->setObjectName("miSettings");
  add(settings, "imLayers", "&Шари ...", &TFormMap::sbLayersClick);
  add(settings, "N1", "-");
  QAction* toolBar = add(settings, "imToolBar", "Панель &інструментів", &TFormMap::imToolBarClick);
  toolBar->setCheckable(true);
  toolBar->setChecked(true);
  QAction* layersPanel =
      add(settings, "imLayersPanel", "&Панель шарів", &TFormMap::imLayersPanelClick);
  layersPanel->setCheckable(true);
  layersPanel->setChecked(true);
  add(settings, "N13", "-");
  add(settings, "miNetworkSources", "Мережеві джерела атласу ...",
      &TFormMap::miNetworkSourcesClick);
  QMenu* utils = menuBar()->addMenu(QString::fromUtf8("Утиліти"));
  utils->setObjectName("miUtils");
  add(utils, "miClassifier", "Словник", &TFormMap::miClassifierClick);
  add(utils, "N3", "-");
  add(utils, "miCalcTopologicalModel", "Узгодження топологічної моделі",
      &TFormMap::miCalcTopologicalModelClick);
  add(utils, "miRebuildIndex", "Перебудувати індекс об'єктів", &TFormMap::miRebuildIndexClick);
  add(utils, "N4", "-");
  add(utils, "miShutOff", "Відключення ділянки", &TFormMap::miShutOffClick);
  add(utils, "miClearMarks", "Зняти позначки з карти", &TFormMap::miClearMarksClick);
  add(utils, "miNetworkCheck", "Перевірка мережі", &TFormMap::miNetworkCheckClick);
  add(utils, "miNetworkSettings", "Налаштування мережі ...", &TFormMap::miNetworkSettingsClick);
  add(utils, "miAtlasCrs", "Система координат атласу ...", &TFormMap::miAtlasCrsClick);
  add(utils, "N5", "-");
  add(utils, "miExportGeoPackage", "Експорт атласу в GeoPackage ...",
      &TFormMap::miExportGeoPackageClick);
  add(utils, "miExportEpanet", "Експорт мережі в EPANET ...", &TFormMap::miExportEpanetClick);
  QMenu* help = menuBar()->addMenu(QString::fromUtf8("Допомога"));
  help->setObjectName("miHelp");
  add(help, "imAbout", "Про ...", &TFormMap::imAboutClick);
  add(help, "miAuthors", "Авторський колектив", &TFormMap::miAuthorsClick);
  add(help, "imHelp", "Допомога", &TFormMap::imHelpClick);
  add(help, "imProgramHelp", "Довідка програми", &TFormMap::imProgramHelpClick)
      ->setShortcut(QKeySequence(Qt::Key_F1));

  ppmnMap = new QMenu(this);
  ppmnMap->setObjectName("ppmnMap");
  QAction* infoPlus =
      add(ppmnMap, "ppmiInfoPlus", "Додаткова інформація", &TFormMap::ppmiInfoPlusClick);
  infoPlus->setVisible(false);
  add(ppmnMap, "ppmiChngSymbol", "Змінити знак", &TFormMap::ppmiChngSymbolClick)
      ->setVisible(Data.WorkMode == 0);
}
