#pragma once
// What the map control needs of the measurement overlay: points added as the user clicks, the
// measurements drawn after the layers, found and deleted, and kept in files. The overlays
// library's TDistationLayer implements it.

#include "World.h"

#include <QByteArray>
#include <QLocale>
#include <QString>
#include <cstdint>

namespace gfx {
class Canvas;
}

class IMapMeasurements {
public:
  virtual ~IMapMeasurements() = default;
  // A length or area as the windows and labels show it: "0.00", two decimals with the locale's
  // decimal separator and no grouping of thousands.
  static QString FormatValue(double Value) {
    QLocale locale;
    locale.setNumberOptions(QLocale::OmitGroupSeparator);
    return locale.toString(Value, 'f', 2);
  }
  virtual void StartMeasurement(uint32_t Color, int16_t Kind) = 0;
  virtual void AddPoint(const TWorld& World, double X, double Y) = 0;
  virtual void FinishMeasurement(const TWorld& World) = 0;
  virtual void AbandonMeasurement() = 0;
  virtual void RemoveLastPoint() = 0;
  virtual void Delete(int Index) = 0;
  virtual void Clear() = 0;
  virtual void Draw(gfx::Canvas& Canvas, const TWorld& World) const = 0;
  virtual void DrawCurrent(gfx::Canvas& Canvas, const TWorld& World) const = 0;
  virtual int FindMeasurement(gfx::Canvas& Canvas, const TWorld& World, double X, double Y,
                              bool Flash) = 0;
  virtual void GetFoundPoint(double& X, double& Y) const = 0;
  virtual int SelectedKind() const = 0;
  virtual double CurrentValue() const = 0;
  virtual double LastSegmentLength() const = 0;
  // Points of the measurement being drawn; 0 when none is.
  virtual int CurrentPointCount() const = 0;
  virtual void SaveToFile(const QString& FileName) const = 0;
  virtual void LoadFromFile(const QString& FileName, const TWorld& World) = 0;
  // The measurements as their file holds them: what changed since a save shows here.
  virtual QByteArray FileText() const = 0;
};
