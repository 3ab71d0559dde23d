#include "MapMeasuring.h"

#include "FAMap.h"

void TMapMeasuring::Set(std::unique_ptr<IMapMeasurements> overlay) {
  Layer = std::move(overlay);
  MarkSaved();
}

void TMapMeasuring::Start(uint32_t Color, int Kind) {
  Map.SetMode(TFAMap::ModeMeasure);
  Map.Gesture.Clicked = Map.Gesture.DoubleClicked = false;
  if (Layer) Layer->StartMeasurement(Color, int16_t(Kind));
  if (Kind == 0 && OnPathLengths) OnPathLengths("0.00 м", "0.00 м");
  if (OnShowPathLengths) OnShowPathLengths(Kind == 0);
}

void TMapMeasuring::ShowPathLengths() const {
  if (!Layer || !OnPathLengths) return;
  auto format = [](double v) { return IMapMeasurements::FormatValue(v) + " м"; };
  OnPathLengths(format(Layer->LastSegmentLength()), format(Layer->CurrentValue()));
}

void TMapMeasuring::Load(const QString& FileName) {
  if (!Layer) return;
  // The overlay keeps what it read before a fault; the map shows it either way.
  struct RedrawAfter {
    TMapMeasuring* Measuring;
    ~RedrawAfter() {
      Measuring->MarkSaved();
      Measuring->Map.Redraw();
    }
  } redraw{this};
  Layer->LoadFromFile(FileName, Map.World);
}

void TMapMeasuring::Save(const QString& FileName) {
  if (!Layer) return;
  Layer->SaveToFile(FileName);
  MarkSaved();
}

bool TMapMeasuring::Unsaved() const {
  return Layer && Layer->FileText() != SavedText;
}

void TMapMeasuring::MarkSaved() {
  SavedText = Layer ? Layer->FileText() : QByteArray();
}

void TMapMeasuring::Erase() {
  if (Layer) Layer->Clear();
  MarkSaved();
  if (OnPathLengths) OnPathLengths(QString(), QString());
  if (OnShowPathLengths) OnShowPathLengths(false);
  Map.Redraw();
}

void TMapMeasuring::LetGoOfCallbacks() {
  OnPathLengths = nullptr;
  OnShowPathLengths = nullptr;
  OnConfirmDelete = nullptr;
  OnAbandoned = nullptr;
}
