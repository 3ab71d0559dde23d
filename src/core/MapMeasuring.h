#pragma once
// The map control's measurements: the overlay drawn above the layers, starting a measurement
// (the measuring tool then takes the clicks), the path lengths shown, the files, and whether
// what is on the map was saved.

#include "MapMeasurements.h"

#include <QByteArray>
#include <functional>
#include <memory>

class TFAMap;

class TMapMeasuring {
public:
  explicit TMapMeasuring(TFAMap& map) : Map(map) {}

  // The overlay (owned here); none: nothing is measured.
  void Set(std::unique_ptr<IMapMeasurements> overlay);
  IMapMeasurements* Overlay() const { return Layer.get(); }
  // Starts a measurement of `Kind` (0 a path, else an area) in `Color`: the map's mode becomes
  // measuring.
  void Start(uint32_t Color, int Kind);
  void Load(const QString& FileName);
  void Save(const QString& FileName);
  // Erased on purpose: nothing is left to save, the path lengths shown go with them.
  void Erase();
  // Whether the measurements differ from what was last saved or loaded (or, before either, from
  // none); MarkSaved takes them as they are now.
  bool Unsaved() const;
  void MarkSaved();
  // The path-length window's texts for the measurement being drawn.
  void ShowPathLengths() const;

  // The path-length window: its two texts ("6.00 м"), and whether it is shown.
  std::function<void(const QString&, const QString&)> OnPathLengths;
  std::function<void(bool)> OnShowPathLengths;
  // Asks the user to confirm deleting a measurement; true for OK.
  std::function<bool(const QString&)> OnConfirmDelete;
  // The measurement being drawn was given up with Escape.
  std::function<void()> OnAbandoned;
  void LetGoOfCallbacks();

private:
  TFAMap& Map;
  std::unique_ptr<IMapMeasurements> Layer;
  QByteArray SavedText; // the file text when last saved or loaded
};
