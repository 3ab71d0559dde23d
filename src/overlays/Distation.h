#pragma once
// Measurements on the map: distances (polylines summed segment by segment) and areas (polygons
// measured when finished), kept as an overlay above the layers, each in its own colour with a
// yellow value label, and saved to and loaded from ".pth" text files.

#include "core/MapMeasurements.h"
#include "core/World.h"

#include <QString>
#include <cstdint>
#include <memory>
#include <vector>

namespace gfx {
class Canvas;
}

class TDistation {
public:
  int16_t Kind = 0; // 0 distance, any other value area
  std::vector<TWorldPoint> Points;
  std::vector<double> SegmentLengths; // distances only: one per segment
  double Value = 0;                   // total length or area; 0 until known
  uint32_t Color = 0;                 // 0x00BBGGRR

  void Clear();
  // Appends the point; a distance grows by the segment from its last point. Returns its index.
  int AddPoint(const TWorld& World, double X, double Y);
};

class TDistationLayer : public IMapMeasurements {
public:
  bool Measuring = false;
  std::vector<std::unique_ptr<TDistation>> Items; // drawing order and file order
  // The measurement being drawn, or the last one started (kept after it is finished, so that the
  // path-length window can go on showing it). Owned by Items once finished.
  TDistation* Current = nullptr;
  int SelectedIndex = -1;
  double FoundX = -1.0, FoundY = -1.0;

  ~TDistationLayer() override;
  void Clear() override;
  void StartMeasurement(uint32_t Color, int16_t Kind) override;
  void AddPoint(const TWorld& World, double X, double Y) override;
  void FinishMeasurement(const TWorld& World) override;
  // Beyond the file's own operations: the measurement being drawn is given up, or loses its last
  // point.
  void AbandonMeasurement() override;
  void RemoveLastPoint() override;
  void Delete(int Index) override;
  void Draw(gfx::Canvas& Canvas, const TWorld& World) const override;
  void DrawCurrent(gfx::Canvas& Canvas, const TWorld& World) const override;
  int FindMeasurement(gfx::Canvas& Canvas, const TWorld& World, double X, double Y,
                      bool Flash) override;
  void FlashMeasurement(int Index, gfx::Canvas& Canvas, const TWorld& World) const;
  void GetFoundPoint(double& X, double& Y) const override;
  int SelectedKind() const override;
  double CurrentValue() const override;
  double LastSegmentLength() const override;
  int CurrentPointCount() const override;
  // Writes the file beside its final name and renames it into place, so that a failed write
  // never destroys a saved file. Raises base::FileError.
  void SaveToFile(const QString& FileName) const override;
  // Replaces the measurements with those of the file. A file that is not a measurement file
  // loads nothing and says nothing; a fault part-way keeps the measurements read before it and
  // raises base::FileError naming the file and line.
  void LoadFromFile(const QString& FileName, const TWorld& World) override;

  // The file text of the measurements, and one real number as the file writes it.
  QByteArray FileText() const override;
  static QByteArray FormatReal(double Value);

private:
  void DrawItem(gfx::Canvas& Canvas, const TWorld& World, const TDistation& d, uint32_t Color,
                bool Label) const;
  // Current while it is being drawn and not yet in Items.
  std::unique_ptr<TDistation> Drawing;
};
