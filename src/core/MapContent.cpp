#include "MapContent.h"

#include "base/UserRefusal.h"

#include "LayerFactory.h"
#include "ParallelDrawing.h"

#include "base/RemoteFiles.h"
#include "db/Error.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QStringList>
#include <atomic>

TMapContent::TMapContent() {
  World.FullExtent = {-1, -1, 1, 1};
  World.ViewExtent = {-1, -1, 1, 1};
}

TMapContent::~TMapContent() {
  DestroyLayers();
  CloseMap();
}

void TMapContent::DestroyLayers() {
  Steps.reset();
  while (!Layers.empty())
    Layers.pop_back();
  RowSignatures.clear();
  AddressLayer = nullptr;
}

void TMapContent::CloseMap() {
  ObjectIndexOfMap.reset();
  ClassTable.Close();
  GroupTable.Close();
}

QString TMapContent::LoadMap(const QString& baseDir, const QString& mapsDir, const QString& appDir,
                             const QString& refDir, const QString& routesDir) {
  BaseDir = baseDir;
  MapsDir = mapsDir;
  AppDir = appDir;
  RefDir = refDir;
  RoutesDir = routesDir;
  Steps.reset();
  CloseMap();
  Failures.clear();
  Refused.clear();
  QStringList failures;
  try {
    ClassTable.SetDatabaseName(BaseDir);
    ClassTable.SetTableName("CLASSREEST.DB");
    ClassTable.Open();
    GroupTable.SetDatabaseName(BaseDir);
    GroupTable.SetTableName("GROUPREEST.DB");
    GroupTable.Open();
    for (ClassTable.First(); !ClassTable.Eof(); ClassTable.Next())
      if (const QString failure = LoadLayer(); !failure.isEmpty()) failures << failure;
  } catch (const db::Error& e) {
    failures << e.Message;
  } catch (const std::exception& e) {
    failures << QString::fromStdString(e.what());
  }
  World.FullExtent = LayersExtent(World.FullExtent);
  World.ViewExtent = World.FullExtent;
  return failures.join('\n');
}

QString TMapContent::LoadLayer() {
  // A layer that cannot be loaded is left out and the load goes on with the next row, so that
  // one missing file does not take the rest of the map with it.
  try {
    const int kind = int(ClassTable.FieldByName("PrimitiveType").AsInteger());
    std::unique_ptr<TCustomLayer> layer = TLayerFactory::Instance().Create(kind);
    if (!layer) return QString(); // a kind this program does not draw (yet)
    layer->LoadFromDataSet(ClassTable, MapsDir);
    QStringList row;
    for (const db::FieldDef& f : ClassTable.FieldDefs())
      row << ClassTable.FieldByName(f.Name).AsString();
    RowSignatures[layer.get()] = row.join(QChar(0x1F));
    if (kind == 7) {
      // The geometry header says points; the layer stays an address layer.
      layer->PrimitiveType = 7;
      AddressLayer = layer.get();
    }
    Layers.push_back(std::move(layer));
    return QString();
  } catch (const base::UserRefusal& e) {
    Refused << LayerFailed(QString::fromUtf8(e.what()));
    return Refused.back();
  } catch (const db::Error& e) {
    return LayerFailed(e.Message);
  } catch (const std::exception& e) {
    return LayerFailed(QString::fromStdString(e.what()));
  }
}

QString TMapContent::LayerFailed(const QString& reason) {
  const auto text = [this](const char* field) {
    const db::Field* f = ClassTable.FindField(field);
    return f ? f->AsString() : QString();
  };
  try {
    NoteFailure(int(ClassTable.FieldByName("Category").AsInteger()),
                int(ClassTable.FieldByName("Class").AsInteger()), reason);
  } catch (const std::exception&) {
    // A row without its class cannot be shown as failed in the panels; the load's text says it.
  }
  return text("ClassName") + " (" + text("FileName") + "): " + reason;
}

void TMapContent::NoteFailure(int Category, int Class, const QString& Reason) {
  if (Reason.isEmpty())
    Failures.erase({Category, Class});
  else
    Failures[{Category, Class}] = Reason;
}

TCustomLayer* TMapContent::LayerOf(int Category, int Class) const {
  for (const auto& layer : Layers)
    if (layer->Category == Category && layer->Class == Class) return layer.get();
  return nullptr;
}

void TMapContent::SetLayerObjectImage(int Category, int Class, int ObjectNumber, int ImageIndex) {
  if (TCustomLayer* layer = LayerOf(Category, Class))
    layer->SetObjectImage(ObjectNumber, ImageIndex);
}

int TMapContent::GetLayerObjectImage(int Category, int Class, int ObjectNumber) const {
  TCustomLayer* layer = LayerOf(Category, Class);
  return layer ? layer->GetObjectImage(ObjectNumber) : -1;
}

void TMapContent::MakeObjectIndex() {
  ObjectIndexOfMap.reset();
  if (ObjectIndexFactory)
    ObjectIndexOfMap = ObjectIndexFactory(MapsDir, BaseDir, AppDir, World.FullExtent);
}

QString TMapContent::FailureOf(int Category, int Class) const {
  const auto found = Failures.find({Category, Class});
  return found == Failures.end() ? QString() : found->second;
}

TExtent TMapContent::LayersExtent(const TExtent& fallback) const {
  bool first = true;
  TExtent e = fallback;
  for (const auto& layer : Layers) {
    if (layer->PrimitiveType >= 100) continue;
    if (first) {
      e = {layer->X0, layer->Y0, layer->Xm, layer->Ym};
      first = false;
    } else {
      e = {TWorld::MinOf(e.XMin, layer->X0), TWorld::MinOf(e.YMin, layer->Y0),
           TWorld::MaxOf(e.XMax, layer->Xm), TWorld::MaxOf(e.YMax, layer->Ym)};
    }
  }
  return e;
}

struct TMapContent::DrawingSteps {
  DrawingSteps(gfx::Canvas& canvas, int threads, std::vector<QImage>* spare, const TWorld& view)
      : Canvas(canvas), Parallel(canvas, threads, spare), View(view) {}
  gfx::Canvas& Canvas;
  TParallelDrawing Parallel;
  TWorld View;
  std::function<void(int, const QString&)> OnError;
  size_t Next = 0;
};

void TMapContent::DrawLayers(gfx::Canvas& canvas,
                             const std::function<void(int, const QString&)>& onError,
                             const std::function<void()>& afterLayer) {
  BeginDrawing(canvas, onError);
  while (DrawNextLayer())
    if (afterLayer) afterLayer();
}

void TMapContent::BeginDrawing(gfx::Canvas& canvas,
                               std::function<void(int, const QString&)> onError) {
  Steps.reset(); // its parallel drawing lets its surfaces go before the next one takes them
  Steps = std::make_unique<DrawingSteps>(canvas, Threads, &RunSurfaces, World);
  Steps->OnError = std::move(onError);
  if (KeepPictures)
    Steps->Next = Kept.Restore(canvas, ViewKey(canvas), LayerSignatures());
  else
    Kept.Forget();
  if (Steps->Next >= Layers.size()) Steps.reset();
}

void TMapContent::CancelDrawing() {
  Steps.reset();
}

bool TMapContent::DrawNextLayer() {
  if (!Steps) return false;
  const size_t i = Steps->Next;
  TCustomLayer& layer = *Layers[i];
  gfx::Canvas& canvas = Steps->Canvas;
  TWorld& view = Steps->View;
  QElapsedTimer clock;
  clock.start();
  ++DrawCounts[{layer.Category, layer.Class}];
  std::optional<QString> failure;
  if (Steps->Parallel.Shares(layer, view)) {
    failure = Steps->Parallel.DrawLayer(layer, view);
  } else {
    try {
      layer.Draw(canvas, view);
    } catch (const db::Error& e) {
      failure = e.Message;
    } catch (const std::exception& e) {
      failure = QString::fromStdString(e.what());
    }
  }
  NoteFailure(layer.Category, layer.Class, failure.value_or(QString()));
  canvas.Pen.Mode = gfx::PenMode::Copy;
  // A layer that failed is drawn again next time; no picture is kept from it on.
  if (KeepPictures && failure) Kept.Forget();
  if (KeepPictures && !failure)
    Kept.Drawn(canvas, i, double(clock.nsecsElapsed()) / 1e6,
               layer.Visibled && layer.ScaleAllowsDrawing(view.Scale));
  // Said last, when this step's work is done: what hears it may give the drawing up.
  const auto onError = Steps->OnError;
  if (++Steps->Next >= Layers.size()) Steps.reset();
  if (failure && onError) onError(int(i), *failure);
  return true;
}

QString TMapContent::ViewKey(const gfx::Canvas& canvas) const {
  return QString::asprintf("%.17g %.17g %.17g %.17g %.17g %d %d %d %d", World.OriginX,
                           World.OriginY, World.OffsetX, World.OffsetY, World.Scale,
                           World.ScreenWidth, World.ScreenHeight, canvas.Width(), canvas.Height());
}

std::vector<QString> TMapContent::LayerSignatures() const {
  const auto stamp = [](const QFileInfo& f) {
    return QString("%1:%2:%3;")
        .arg(f.fileName())
        .arg(f.size())
        .arg(f.lastModified().toMSecsSinceEpoch());
  };
  // A folder's files with their stamps; a store's folder with the signatures its store gives.
  const auto eachFile = [&](const QString& dir, const auto& take) {
    if (const base::RemoteFileKind* remote = base::RemoteFileKindOf(dir)) {
      for (const QString& name : remote->List(dir))
        take(QFileInfo(name), name + ":" + remote->Signature(dir + "/" + name) + ";");
      return;
    }
    for (const QFileInfo& f : QDir(dir).entryInfoList(QDir::Files, QDir::Name))
      take(f, stamp(f));
  };
  // The maps folder's files by their names' stems ("water" for Water.mds, Water.dbf, Water.r).
  std::map<QString, QString> files;
  eachFile(MapsDir, [&](const QFileInfo& f, const QString& s) {
    files[f.completeBaseName().toLower()] += s;
  });
  QString base;
  eachFile(BaseDir, [&](const QFileInfo& f, const QString& s) {
    if (!f.completeBaseName().startsWith("CLASSREEST", Qt::CaseInsensitive)) base += s;
  });
  static std::atomic<int> connections{0};
  std::vector<QString> signatures;
  for (const auto& layer : Layers) {
    const QString source = layer->FileName.section('|', 0, 0).trimmed();
    QString own;
    if (source.indexOf(':') > 1 || source.startsWith('<') || source.startsWith("/vsi"))
      own = QString("connection %1").arg(++connections);
    else if (QFileInfo(source).isAbsolute())
      own = stamp(QFileInfo(source));
    else {
      const auto found = files.find(QFileInfo(source).completeBaseName().toLower());
      own = found == files.end() ? QString() : found->second;
    }
    const auto row = RowSignatures.find(layer.get());
    signatures.push_back(QString("%1|%2%3 %4 %5 %6|%7|%8")
                             .arg(row == RowSignatures.end() ? QString() : row->second)
                             .arg(int(layer->Visibled))
                             .arg(int(layer->VisibleLabel))
                             .arg(layer->ZoomInScale, 0, 'g', 17)
                             .arg(layer->ZoomOutScale, 0, 'g', 17)
                             .arg(layer->ZoomInLabelScale, 0, 'g', 17)
                             .arg(own, base));
  }
  return signatures;
}
