#include "FAMap.h"

#include "base/UserMessages.h"

#include <QApplication>
#include <QCursor>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmap>
#include <QTimer>
#include <cmath>

namespace {

std::map<int, QCursor>& CursorTable() {
  static std::map<int, QCursor> table;
  return table;
}

} // namespace

QCursor TCursors::FromResource(const QString& name, Qt::CursorShape fallback) {
  const QPixmap picture(":/cursors/" + name + ".xpm");
  if (picture.isNull()) return QCursor(fallback);
  return QCursor(picture, picture.width() / 2, picture.height() / 2);
}

void TCursors::Register(int number, const QCursor& cursor) {
  CursorTable()[number] = cursor;
}

QCursor TCursors::Get(int number) {
  const auto it = CursorTable().find(number);
  return it == CursorTable().end() ? QCursor(Qt::ArrowCursor) : it->second;
}

TFAMap::TFAMap(QWidget* parent) : QWidget(parent) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  setMouseTracking(true);
  setFocusPolicy(Qt::StrongFocus);
  World.SetView(std::max(1, width()), std::max(1, height()), -1, -1, 1, 1);
  TCursors::Register(1001, TCursors::FromResource("ZOOM_IN", Qt::CrossCursor));
  TCursors::Register(1002, TCursors::FromResource("ZOOM_OUT", Qt::CrossCursor));
  TCursors::Register(1003, TCursors::FromResource("PAN", Qt::OpenHandCursor));
  TCursors::Register(1004, TCursors::FromResource("DIST", Qt::CrossCursor));
  // No move events come while the pointer is outside the control and no button is held; while
  // measuring, the pointer's place is looked at instead, so that the view scrolls towards it.
  OutsideTimer.setInterval(kOutsideInterval);
  connect(&OutsideTimer, &QTimer::timeout, this, [this] { FeedPointerOutside(); });
  Content.KeepPictures = true;
  SettleTimer.setSingleShot(true);
  connect(&SettleTimer, &QTimer::timeout, this, [this] { StartDrawing(); });
  StepTimer.setSingleShot(true);
  connect(&StepTimer, &QTimer::timeout, this, [this] { DrawStep(); });
}

TFAMap::~TFAMap() {
  // What goes with the control calls out to nobody: the window whose members the callbacks
  // reach may be half gone already.
  LetGoOfCallbacks();
  GiveUpDrawing();
  ObjectIndexOfMap.reset();
  Arrow.reset();
  ScreenCanvas.reset();
  Content.DestroyLayers();
  ClearSelection();
}

void TFAMap::LetGoOfCallbacks() {
  OnPaint = nullptr;
  OnMouseDown = OnMouseMove = OnMouseUp = nullptr;
  OnDblClick = nullptr;
  OnLayerError = nullptr;
  OnLayersGone = nullptr;
  OnPathLengths = nullptr;
  OnShowPathLengths = nullptr;
  OnConfirmDelete = nullptr;
  OnMeasureAbandoned = nullptr;
  OnPointerMoved = nullptr;
  OnIdentify = OnShutOffAt = nullptr;
  OnSelectionChanged = nullptr;
  OnPaintOverlay = nullptr;
}

void TFAMap::LoadMap(const QString& BaseDir, const QString& MapsDir, const QString& AppDir,
                     const QString& RefDir, const QString& RoutesDir) {
  MouseLeft = false;
  ReportedLayers.clear();
  ObjectIndexOfMap.reset();
  const QString failure = Content.LoadMap(BaseDir, MapsDir, AppDir, RefDir, RoutesDir);
  // Before the control is shown its size means nothing; the first paint fits the whole map then.
  if (!Layers.empty() && isVisible())
    World.SetView(width(), height(), World.FullExtent.XMin, World.FullExtent.YMin,
                  World.FullExtent.XMax, World.FullExtent.YMax);
  if (ObjectIndexFactory)
    ObjectIndexOfMap = ObjectIndexFactory(MapsDir, BaseDir, AppDir, World.FullExtent);
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
  ObjectIndexOfMap.reset();
  Content.CloseMap();
}

void TFAMap::ReloadMap() {
  const TExtent view = World.ViewExtent;
  if (OnLayersGone) OnLayersGone();
  Content.DestroyLayers();
  LoadMap(Content.BaseDir, Content.MapsDir, Content.AppDir, Content.RefDir, Content.RoutesDir);
  World.ViewExtent = view;
  NeedRedraw = true;
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
  StepsShowProgress = false;
  if (StepsCanvas) StepTimer.start(0);
}

void TFAMap::BeginPicture() {
  GiveUpDrawing();
  ScreenCanvas.reset();
  const int w = std::max(1, width()), h = std::max(1, height());
  InProgress = QImage(w, h, QImage::Format_RGB32);
  InProgress.fill(gfx::ToQColor(kBackground));
  World.SetView(w, h, World.ViewExtent.XMin, World.ViewExtent.YMin, World.ViewExtent.XMax,
                World.ViewExtent.YMax);
  StepsCanvas = std::make_unique<gfx::Canvas>(InProgress);
  World.ComputeScale(StepsCanvas->WidthMM());
  // A request to draw from here on is one this drawing does not answer.
  NeedRedraw = false;
  StepsClock.start();
  Content.BeginDrawing(*StepsCanvas, [this](int layer, const QString& reason) {
    if (ReportedLayers[layer]) return;
    ReportedLayers[layer] = true;
    if (OnLayerError) OnLayerError(layer, reason);
  });
  if (!Content.Drawing()) EndPicture(); // every layer's picture was kept
}

void TFAMap::DrawStep() {
  StepTimer.stop();
  if (!StepsCanvas) return;
  if (!Content.Drawing()) {
    // The layers were loaded again or destroyed under the drawing: it shows nothing now.
    GiveUpDrawing();
    NeedRedraw = true;
    update();
    return;
  }
  Content.DrawNextLayer();
  if (!StepsCanvas) return; // what heard of a failure gave the drawing up
  if (!Content.Drawing()) {
    EndPicture();
    return;
  }
  if (StepsClock.elapsed() >= kBuildUpDelay) {
    // The map builds up on screen layer by layer, shown from the picture being drawn.
    BuildingUp = true;
    if (isVisible()) StepsShowProgress ? repaint() : update();
  }
  if (!StepsShowProgress) StepTimer.start(0);
}

void TFAMap::FinishDrawing() {
  StepsShowProgress = true;
  while (StepsCanvas)
    DrawStep();
}

void TFAMap::EndPicture() {
  if (MeasurementLayer) {
    MeasurementLayer->Draw(*StepsCanvas, World);
    MeasurementLayer->DrawCurrent(*StepsCanvas, World);
  }
  StepsCanvas.reset();
  BackBuffer = std::move(InProgress);
  InProgress = QImage();
  BuildingUp = false;
  DrawnExtent = World.VisibleExtent;
  ShowFinishedPicture();
}

void TFAMap::GiveUpDrawing() {
  StepTimer.stop();
  Content.CancelDrawing();
  StepsCanvas.reset();
  InProgress = QImage();
  BuildingUp = false;
}

void TFAMap::ShowFinishedPicture() {
  ScreenCanvas.reset(); // it paints on the Screen replaced here
  Screen = BackBuffer.copy();
  MarkSelection();
  if (ArrowVisible) ShowArrow(ArrowX, ArrowY);
  ShowScreen();
  if (OnPaint) OnPaint();
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
  ScreenCanvas.reset();
  Screen.fill(gfx::ToQColor(kBackground));
  {
    QPainter p(&Screen);
    p.drawImage(at, BackBuffer);
  }
  NeedRedraw = true;
  SettleTimer.start(kSettleDelay);
  ShowScreen();
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
    p.drawImage(0, 0, InProgress);
  else if (Screen.isNull())
    p.fillRect(rect(), gfx::ToQColor(kBackground));
  else
    p.drawImage(0, 0, Screen);
  if (OnPaintOverlay && !BuildingUp && !Screen.isNull()) OnPaintOverlay(p);
}

void TFAMap::resizeEvent(QResizeEvent*) {
  NeedRedraw = true;
  if (isVisible()) Paint();
}

void TFAMap::SetArrow(std::unique_ptr<IMapArrow> arrow) {
  Arrow = std::move(arrow);
  if (Arrow) Arrow->OnChanged = [this] { ShowScreen(); };
}

void TFAMap::HideArrow() {
  ArrowVisible = false;
  if (Arrow) Arrow->Hide(Screen);
}

void TFAMap::ShowArrow(double X, double Y) {
  ArrowX = X;
  ArrowY = Y;
  ArrowVisible = true;
  if (Arrow) Arrow->Show(Screen, World.WorldToScreenX(X), World.WorldToScreenY(Y));
}

void TFAMap::SetLayerObjectImage(int Category, int Class, int ObjectNumber, int ImageIndex) {
  for (const auto& l : Layers)
    if (l->Category == Category && l->Class == Class) {
      l->SetObjectImage(ObjectNumber, ImageIndex);
      return;
    }
}

int TFAMap::GetLayerObjectImage(int Category, int Class, int ObjectNumber) {
  for (const auto& l : Layers)
    if (l->Category == Category && l->Class == Class) return l->GetObjectImage(ObjectNumber);
  return -1;
}
