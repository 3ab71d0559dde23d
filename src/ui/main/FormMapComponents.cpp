// The main window's components: the tool bar, its pop-out bars of information and measurement
// tools, the layer and object panels, and the menus with their commands.

#include "AtlasCommands.h"
#include "ContentCommands.h"
#include "FormMap.h"
#include "MeasurementCommands.h"
#include "NetworkCommands.h"
#include "PlaceCommands.h"

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
                                 std::function<void()> handler) {
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
  if (handler) connect(b, &QToolButton::clicked, this, std::move(handler));
  Buttons[name] = b;
  return b;
}

void TFormMap::BuildToolBar(QWidget* host) {
  AddButton(host, "sbArrow", QString::fromUtf8("Вказати на карті"), "arrow", 1, 1, true,
            [this] { sbArrowClick(); });
  AddButton(host, "sbZoomIn", QString::fromUtf8("Збільшити карту"), "zoomin", 1, 26, true,
            [this] { sbZoomInClick(); });
  AddButton(host, "sbZoomOut", QString::fromUtf8("Зменшити карту"), "zoomout", 1, 51, true,
            [this] { sbZoomOutClick(); });
  AddButton(host, "sbPan", QString::fromUtf8("Зсунути карту"), "pan", 1, 76, true,
            [this] { sbPanClick(); });
  AddButton(host, "sbGlobe", QString::fromUtf8("Вся карта"), "globe", 1, 101, false,
            [this] { sbGlobeClick(); });
  AddButton(host, "sbShowPathPnl", QString::fromUtf8("Виміри"), "ruler", 1, 141, true,
            [this] { sbShowPathPnlClick(); });
  AddButton(host, "sbStreets", QString::fromUtf8("Пошук вулиць"), QString::fromUtf8("Вул"), 1, 178,
            false, [this] { ContentCommands->sbStreetsClick(); })
      ->setEnabled(false);
  AddButton(host, "sbAddress", QString::fromUtf8("Пошук адрес"), QString::fromUtf8("Адр"), 1, 203,
            false, [this] { ContentCommands->sbAddressClick(); })
      ->setEnabled(false);
  AddButton(host, "sbIdentify", QString::fromUtf8("Що тут? (I)"), QString::fromUtf8("Що"), 1, 236,
            true, [this] { sbIdentifyClick(); })
      ->setText(QString::fromUtf8("Що"));
  AddButton(host, "sbLayers", QString::fromUtf8("Шари"), "layers", 1, 268, false,
            [this] { ContentCommands->sbLayersClick(); });
  AddButton(host, "sbtnHelp", QString::fromUtf8("Допомога користувачеві"), "help", 1, 293, false,
            [this] { imHelpClick(); });
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
            2, 3, true, [this] { sbInfoClick(); });
  AddButton(pnlInfo, "sbEditObject", QString::fromUtf8("Редагування даних об'єкта"), "edit", 43, 3,
            true, [this] { sbEditObjectClick(); });
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
    std::function<void()> Handler;
  } buttons[] = {{"sbAddPath", "Вимірювання відстані", "addpath", 4, true,
                  [this] { MeasurementCommands->sbAddPathClick(); }},
                 {"sbAddS", "Вимірювання площі", "addarea", 46, true,
                  [this] { MeasurementCommands->sbAddSClick(); }},
                 {"sbDelPath", "Видалення виміру", "delpath", 87, true,
                  [this] { MeasurementCommands->sbDelPathClick(); }},
                 {"sbLoadPath", "Завантаження вимірів з файлу", "load", 129, false,
                  [this] { MeasurementCommands->sbLoadPathClick(); }},
                 {"sbSavePath", "Збереження вимірів в файлі", "save", 171, false,
                  [this] { MeasurementCommands->sbSavePathClick(); }},
                 {"sbErasePaths", "Вихід і видалення всіх вимірів", "erase", 213, false,
                  [this] { MeasurementCommands->sbErasePathsClick(); }}};
  for (const auto& b : buttons)
    AddButton(pnlDist, b.Name, QString::fromUtf8(b.Hint), b.Glyph, b.X, 2, b.Latch, b.Handler);
  pnlDistColor = new QFrame(pnlDist);
  pnlDistColor->setObjectName("pnlDistColor");
  pnlDistColor->setGeometry(4, 30, 249, 11);
  pnlDistColor->setFrameShape(QFrame::Box);
  pnlDistColor->setToolTip(QString::fromUtf8("Колір вимірів"));
  pnlDistColor->installEventFilter(this);
  MeasurementCommands->SetMeasureColor(MeasurementCommands->MeasureColor);
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
                    std::function<void()> handler = nullptr) {
    QAction* a = QString(caption) == "-" ? menu->addSeparator()
                                         : menu->addAction(QString::fromUtf8(caption));
    a->setObjectName(name);
    if (handler)
      connect(a, &QAction::triggered, this, std::move(handler));
    else if (!a->isSeparator())
      a->setEnabled(false); // its window comes in a later step
    Actions[name] = a;
    return a;
  };
  QMenu* view = menuBar()->addMenu(QString::fromUtf8("&Карта"));
  view->setObjectName("miView");
  add(view, "imZoomIn", "&Збільшити", [this] { sbZoomInClick(); });
  add(view, "imZoomOut", "З&меншити", [this] { sbZoomOutClick(); });
  add(view, "imPan", "З&сунути", [this] { sbPanClick(); });
  add(view, "imGlobe", "&Уся карта", [this] { sbGlobeClick(); });
  add(view, "imIdentify", "Що &тут?", [this] { sbIdentifyClick(); });
  Actions["imIdentify"]->setShortcut(QKeySequence(Qt::Key_I));
  add(view, "miGoToCoordinates", "Перейти до координат ...", [this] {
    PlaceCommands->miGoToCoordinatesClick();
  })->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_G));
  add(view, "imPrint", "Друк ...", [this] {
    AtlasCommands->imPrintClick();
  })->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_P));
  add(view, "N2", "-");
  add(view, "imOpenAtlas", "Відкрити атлас ...", [this] { AtlasCommands->imOpenAtlasClick(); });
  add(view, "imExit", "Вихід", [this] { imExitClick(); });
  QMenu* distat = menuBar()->addMenu(QString::fromUtf8("Виміри"));
  distat->setObjectName("miDistat");
  add(distat, "imAddPath", "Виміряти відстань", [this] { MeasurementCommands->sbAddPathClick(); });
  add(distat, "imAddS", "Виміряти площу", [this] { MeasurementCommands->sbAddSClick(); });
  add(distat, "imDelPath", "Видалити вимір", [this] { MeasurementCommands->sbDelPathClick(); });
  add(distat, "N8", "-");
  add(distat, "imLoadPaths", "Завантажити ...", [this] { MeasurementCommands->sbLoadPathClick(); });
  add(distat, "imSavePaths", "Зберегти ...", [this] { MeasurementCommands->sbSavePathClick(); });
  add(distat, "N12", "-");
  add(distat, "imErathPaths", "Очистити", [this] { MeasurementCommands->sbErasePathsClick(); });
  QMenu* list = menuBar()->addMenu(QString::fromUtf8("Пошук"));
  list->setObjectName("miList");
  add(list, "miStreets", "Пошук вулиць", [this] {
    ContentCommands->sbStreetsClick();
  })->setEnabled(false);
  add(list, "miAddress", "Пошук адрес", [this] {
    ContentCommands->sbAddressClick();
  })->setEnabled(false);
  QMenu* settings = menuBar()->addMenu(QString::fromUtf8("&Установки"));
  settings->setObjectName("miSettings");
  add(settings, "imLayers", "&Шари ...", [this] { ContentCommands->sbLayersClick(); });
  add(settings, "N1", "-");
  QAction* toolBar =
      add(settings, "imToolBar", "Панель &інструментів", [this] { imToolBarClick(); });
  toolBar->setCheckable(true);
  toolBar->setChecked(true);
  QAction* layersPanel =
      add(settings, "imLayersPanel", "&Панель шарів", [this] { imLayersPanelClick(); });
  layersPanel->setCheckable(true);
  layersPanel->setChecked(true);
  add(settings, "N13", "-");
  add(settings, "miNetworkSources", "Мережеві джерела атласу ...",
      [this] { AtlasCommands->miNetworkSourcesClick(); });
  QMenu* utils = menuBar()->addMenu(QString::fromUtf8("Утиліти"));
  utils->setObjectName("miUtils");
  add(utils, "miClassifier", "Словник", [this] { ContentCommands->miClassifierClick(); });
  add(utils, "N3", "-");
  add(utils, "miCalcTopologicalModel", "Узгодження топологічної моделі",
      [this] { ContentCommands->miCalcTopologicalModelClick(); });
  add(utils, "miRebuildIndex", "Перебудувати індекс об'єктів",
      [this] { ContentCommands->miRebuildIndexClick(); });
  add(utils, "N4", "-");
  add(utils, "miShutOff", "Відключення ділянки", [this] { NetworkCommands->miShutOffClick(); });
  add(utils, "miClearMarks", "Зняти позначки з карти",
      [this] { NetworkCommands->miClearMarksClick(); });
  add(utils, "miNetworkCheck", "Перевірка мережі",
      [this] { NetworkCommands->miNetworkCheckClick(); });
  add(utils, "miNetworkSettings", "Налаштування мережі ...",
      [this] { NetworkCommands->miNetworkSettingsClick(); });
  add(utils, "miAtlasCrs", "Система координат атласу ...",
      [this] { PlaceCommands->miAtlasCrsClick(); });
  add(utils, "N5", "-");
  add(utils, "miExportGeoPackage", "Експорт атласу в GeoPackage ...",
      [this] { AtlasCommands->miExportGeoPackageClick(); });
  add(utils, "miExportEpanet", "Експорт мережі в EPANET ...",
      [this] { NetworkCommands->miExportEpanetClick(); });
  QMenu* help = menuBar()->addMenu(QString::fromUtf8("Допомога"));
  help->setObjectName("miHelp");
  add(help, "imAbout", "Про ...", [this] { imAboutClick(); });
  add(help, "miAuthors", "Авторський колектив", [this] { miAuthorsClick(); });
  add(help, "imHelp", "Допомога", [this] { imHelpClick(); });
  add(help, "imProgramHelp", "Довідка програми", [this] {
    ContentCommands->imProgramHelpClick();
  })->setShortcut(QKeySequence(Qt::Key_F1));

  ppmnMap = new QMenu(this);
  ppmnMap->setObjectName("ppmnMap");
  QAction* infoPlus =
      add(ppmnMap, "ppmiInfoPlus", "Додаткова інформація", [this] { ppmiInfoPlusClick(); });
  infoPlus->setVisible(false);
  add(ppmnMap, "ppmiChngSymbol", "Змінити знак", [this] {
    ContentCommands->ppmiChngSymbolClick();
  })->setVisible(Data.WorkMode == 0);
}
