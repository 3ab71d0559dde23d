// The map control's loading, its drawing in steps, the previews of a gesture and the screen
// picture.
#include "FAMap.h"

#include "base/UserMessages.h"
#include "tools/ArrowTool.h"
#include "tools/MeasureTool.h"
#include "tools/PanTool.h"
#include "tools/PointPickTool.h"
#include "tools/ZoomTools.h"

#include <QApplication>
#include <QPainter>

TFAMap::TFAMap(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  setMouseTracking(true);
  setFocusPolicy(Qt::StrongFocus);
  World.SetView(std::max(1, width()), std::max(1, height()), -1, -1, 1, 1);
  TCursors::Register(1001, TCursors::FromResource("ZOOM_IN", Qt::CrossCursor));
  TCursors::Register(1002, TCursors::FromResource("ZOOM_OUT", Qt::CrossCursor));
  TCursors::Register(1003, TCursors::FromResource("PAN", Qt::OpenHandCursor));
  TCursors::Register(1004, TCursors::FromResource("DIST", Qt::CrossCursor));
  Content.KeepPictures = true;
  SettleTimer.setSingleShot(true);
  connect(&SettleTimer, &QTimer::timeout, this, [this] { StartDrawing(); });
  AddTool(std::make_unique<TArrowTool>(*this, ModeInfo));
  AddTool(std::make_unique<TArrowTool>(*this, ModeEdit));
  AddTool(std::make_unique<TZoomInTool>(*this));
  AddTool(std::make_unique<TZoomOutTool>(*this));
  AddTool(std::make_unique<TPanTool>(*this));
  AddTool(std::make_unique<TMeasureTool>(*this));
  AddTool(std::make_unique<TDeleteMeasureTool>(*this));
  AddTool(std::make_unique<TPointPickTool>(*this, ModeIdentify, &TMapEvents::OnIdentify, 0));
  AddTool(std::make_unique<TPointPickTool>(*this, ModeShutOff, &TMapEvents::OnShutOffAt,
                                           TMapTool::kKeepCursor));
}

TFAMap::~TFAMap() {
  // What goes with the control calls out to nobody: the window whose members the callbacks
  // reach may be half gone already.
  LetGoOfCallbacks();
  GiveUpDrawing();
  Tools.clear();
  Content.ForgetObjectIndex();
  Arrow.SetLook(nullptr);
  ScreenCanvasOf.reset();
  Content.DestroyLayers();
  ClearSelection();
}

void TFAMap::LetGoOfCallbacks() {
  Events = TMapEvents();
  Measuring.LetGoOfCallbacks();
}

void TFAMap::LoadMap(const QString& BaseDir, const QString& MapsDir, const QString& AppDir,
                     const QString& RefDir, const QString& RoutesDir) {
  Steps.ReportedLayers.clear();
  const QString failure = Content.LoadMap(BaseDir, MapsDir, AppDir, RefDir, RoutesDir);
  // Before the control is shown its size means nothing; the first paint fits the whole map then.
  if (!Layers.empty() && isVisible())
    World.SetView(width(), height(), World.FullExtent.XMin, World.FullExtent.YMin,
                  World.FullExtent.XMax, World.FullExtent.YMax);
  Content.MakeObjectIndex();
  // The layers the user chose to leave out are shown so in the panels, not in a box at every
  // start.
  QStringList faults = failure.split('\n', Qt::SkipEmptyParts);
  for (const QString& refused : Content.Refused)
    faults.removeOne(refused);
  if (!faults.isEmpty())
    base::UserMessages::Current().ShowMessage("Невозможно открыть карту...\n" + faults.join('\n'));
  NeedRedraw = true;
}

void TFAMap::CloseMap() {
  Content.CloseMap();
}

void TFAMap::ReloadMap() {
  const TExtent view = World.ViewExtent;
  if (Events.OnLayersGone) Events.OnLayersGone();
  Content.DestroyLayers();
  LoadMap(Content.BaseDir, Content.MapsDir, Content.AppDir, Content.RefDir, Content.RoutesDir);
  World.ViewExtent = view;
  NeedRedraw = true;
}

TCustomLayer* TFAMap::ActiveLayerObject() const {
  if (ActiveLayer < 0 || ActiveLayer >= int(Layers.size())) return nullptr;
  return Layers[size_t(ActiveLayer)].get();
}

gfx::Canvas& TFAMap::ScreenCanvas(bool showFlushes) {
  if (!ScreenCanvasOf) ScreenCanvasOf = std::make_unique<gfx::Canvas>(Screen);
  if (showFlushes)
    ScreenCanvasOf->OnFlush = [this] { ShowScreen(); };
  else
    ScreenCanvasOf->OnFlush = nullptr;
  return *ScreenCanvasOf;
}

void TFAMap::ShowScreen() {
  repaint();
}

void TFAMap::Paint() {
  const int w = std::max(1, width()), h = std::max(1, height());
  SettleTimer.stop();
  if (NeedRedraw || BackBuffer.size() != QSize(w, h)) {
    QApplication::setOverrideCursor(Qt::WaitCursor);
    BeginPicture();
    FinishDrawing();
    QApplication::restoreOverrideCursor();
    return;
  }
  ShowFinishedPicture();
}

void TFAMap::StartDrawing() {
  SettleTimer.stop();
  BeginPicture();
  Steps.ShowProgress = false;
  if (Steps.Underway()) Steps.Timer.start(0);
}

void TFAMap::BeginPicture() {
  GiveUpDrawing();
  ScreenCanvasOf.reset();
  const int w = std::max(1, width()), h = std::max(1, height());
  Steps.Begin(Content, w, h, kBackground);
  World.SetView(w, h, World.ViewExtent.XMin, World.ViewExtent.YMin, World.ViewExtent.XMax,
                World.ViewExtent.YMax);
  World.ComputeScale(Steps.CanvasOf().WidthMM());
  // A request to draw from here on is one this drawing does not answer.
  NeedRedraw = false;
  Content.BeginDrawing(Steps.CanvasOf(), [this](int layer, const QString& reason) {
    if (Steps.ReportedLayers[layer]) return;
    Steps.ReportedLayers[layer] = true;
    if (Events.OnLayerError) Events.OnLayerError(layer, reason);
  });
  if (!Content.Drawing()) EndPicture(); // every layer's picture was kept
}

void TFAMap::DrawStep() {
  Steps.Timer.stop();
  if (!Steps.Underway()) return;
  if (!Content.Drawing()) {
    // The layers were loaded again or destroyed under the drawing: it shows nothing now.
    GiveUpDrawing();
    NeedRedraw = true;
    update();
    return;
  }
  Content.DrawNextLayer();
  if (!Steps.Underway()) return; // what heard of a failure gave the drawing up
  if (!Content.Drawing()) {
    EndPicture();
    return;
  }
  if (Steps.Elapsed() >= kBuildUpDelay) {
    // The map builds up on screen layer by layer, shown from the picture being drawn.
    BuildingUp = true;
    if (isVisible()) Steps.ShowProgress ? repaint() : update();
  }
  if (!Steps.ShowProgress) Steps.Timer.start(0);
}

void TFAMap::FinishDrawing() {
  Steps.ShowProgress = true;
  while (Steps.Underway())
    DrawStep();
}

void TFAMap::EndPicture() {
  if (IMapMeasurements* overlay = Measuring.Overlay()) {
    overlay->Draw(Steps.CanvasOf(), World);
    overlay->DrawCurrent(Steps.CanvasOf(), World);
  }
  BackBuffer = Steps.Take();
  BuildingUp = false;
  DrawnExtent = World.VisibleExtent;
  ShowFinishedPicture();
}

void TFAMap::GiveUpDrawing() {
  Steps.GiveUp(Content);
  BuildingUp = false;
}

void TFAMap::ShowFinishedPicture() {
  ScreenCanvasOf.reset(); // it paints on the Screen replaced here
  Screen = BackBuffer.copy();
  if (!Selection.empty()) {
    QPainter painter(&Screen);
    PaintSelectionMarks(painter, DrawSelectionMarks(Content, World, Screen.size(), Selection));
  }
  Arrow.ShowAgain();
  if (TMapTool* tool = ActiveTool()) {
    QPainter painter(&Screen);
    tool->Paint(painter);
  }
  ShowScreen();
  if (Events.OnPaint) Events.OnPaint();
}

void TFAMap::Redraw() {
  Content.Kept.Forget();
  NeedRedraw = true;
  Paint();
}

void TFAMap::RedrawChanged() {
  NeedRedraw = true;
  Paint();
}

void TFAMap::ShowWholeMap() {
  World.ViewExtent = World.FullExtent;
  Redraw();
}

void TFAMap::PreviewView(const TExtent& view) {
  World.ViewExtent = view;
  const int w = std::max(1, width()), h = std::max(1, height());
  if (BackBuffer.size() != QSize(w, h) || !(DrawnExtent.XMax > DrawnExtent.XMin)) {
    Redraw(); // nothing finished to show moved
    return;
  }
  World.SetView(w, h, view.XMin, view.YMin, view.XMax, view.YMax);
  World.ComputeScale(w * 25.4 / 96.0);
  // Where the finished picture's view lies in the new one.
  const TExtent& now = World.VisibleExtent;
  const double s = World.Scale;
  const QRectF at((DrawnExtent.XMin - now.XMin) * s, (now.YMax - DrawnExtent.YMax) * s,
                  (DrawnExtent.XMax - DrawnExtent.XMin) * s,
                  (DrawnExtent.YMax - DrawnExtent.YMin) * s);
  GiveUpDrawing();
  ScreenCanvasOf.reset();
  Screen.fill(gfx::ToQColor(kBackground));
  {
    QPainter p(&Screen);
    p.drawImage(at, BackBuffer);
  }
  NeedRedraw = true;
  SettleLater();
  ShowScreen();
}

void TFAMap::SettleLater() {
  SettleTimer.start(kSettleDelay);
}

void TFAMap::Settle() {
  SettleTimer.stop();
  if (NeedRedraw) {
    Paint();
    return;
  }
  FinishDrawing();
}

void TFAMap::paintEvent(QPaintEvent*) {
  // A map that needs drawing is drawn right after this exposure (not inside it); during a
  // gesture, when it pauses.
  if (NeedRedraw && !RedrawScheduled && !SettleTimer.isActive()) {
    RedrawScheduled = true;
    QTimer::singleShot(0, this, [this] {
      RedrawScheduled = false;
      if (NeedRedraw) StartDrawing();
    });
  }
  QPainter p(this);
  if (BuildingUp)
    p.drawImage(0, 0, Steps.Picture());
  else if (Screen.isNull())
    p.fillRect(rect(), gfx::ToQColor(kBackground));
  else
    p.drawImage(0, 0, Screen);
  if (Events.OnPaintOverlay && !BuildingUp && !Screen.isNull()) Events.OnPaintOverlay(p);
}

void TFAMap::resizeEvent(QResizeEvent*) {
  NeedRedraw = true;
  if (isVisible()) Paint();
}
