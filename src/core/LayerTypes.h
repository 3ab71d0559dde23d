#pragma once
// Small records the layer operations exchange: selection shapes and results of the database
// point layers, and the descriptive information of an object.

#include "World.h"

#include <QString>
#include <cstdint>
#include <vector>

// A shape that selects database point objects: 1 circle, 2 rectangle, 3 polygon; other kinds are
// ignored.
struct TSelectionShape {
  int32_t Kind = 0;
  double Radius = 0, CentreX = 0, CentreY = 0;   // circle
  double XMin = 0, YMin = 0, XMax = 0, YMax = 0; // rectangle
  std::vector<TWorldPoint> Points;               // polygon
};

// One selected object: its layer, its group and its row position.
struct TSelectionRecord {
  int16_t Category = 0;
  int32_t Class = 0;
  int16_t GroupCount = 1;
  std::vector<int32_t> Groups;
  int32_t Row = 0;
};

// What GetObjectInfo tells of an object.
struct TObjectInfo {
  double X = 0, Y = 0;
  QString Name, Type, Street, Number, Phone;
};
