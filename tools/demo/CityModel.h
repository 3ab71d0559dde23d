#pragma once
// The invented city of the demo atlas: a street grid with slightly bent streets, blocks of
// buildings (some with courtyards, some in several parts), parks, a lake and a river, landmarks
// and survey points, and the water-supply and sewerage networks whose pipes start and end on
// network nodes. Everything is derived from the scale and the seed alone, so one seed always
// gives the same city.

#include "ShapeWriter.h"

#include <QString>
#include <cstdint>
#include <random>
#include <vector>

namespace demo {

// A deterministic random source whose results do not depend on the standard library's
// distributions.
class Random {
public:
  explicit Random(uint64_t seed) : Engine(seed) {}
  double Uniform(double low, double high) {
    return low + (high - low) * double(Engine() >> 11) * 0x1.0p-53;
  }
  int Int(int low, int high) { return low + int(Engine() % uint64_t(high - low + 1)); } // inclusive
  bool Chance(double p) { return Uniform(0, 1) < p; }

private:
  std::mt19937_64 Engine;
};

struct Street {
  int Code = 0; // street code (key of the street dictionary)
  QString Name; // "Шевченка"
  QString Type; // "вул."
  std::vector<Ring> Parts;
};

// A street segment between two crossings, for the street name labels.
struct StreetSegment {
  int StreetCode = 0;
  Point A, B;
  int NodeA = 0, NodeB = 0; // crossing codes; two segments meet where they share one
  int Bow = 0;              // how the street bows between the crossings
};

struct Building {
  std::vector<Ring> Rings;
  QString Name, Type, InfoFile;
  int StreetCode = 0;
  QString Number;
  int Floors = 1;
  Point Centre;
  uint32_t Fill = 0; // style of the per-object style file
  int Hatch = 0;
};

struct Area {
  std::vector<Ring> Rings;
  QString Name, Type;
};

struct Landmark {
  Point At;
  QString Name, Type, Number, InfoFile;
  int StreetCode = 0;
  char Symbol = 'J';
  uint32_t Colour = 0;
  double Size = 14;
};

struct SurveyPoint {
  Point At;
  QString Name;
  double Height = 0;
};

// A network node object (well, valve, hydrant, pumping station).
struct Node {
  int Code = 0;  // object number within its table
  int Group = 1; // symbol group within its class
  Point At;
  QString Name, Type, Number, Phone;
  int StreetCode = 0;
  int ImageIndex = -1; // logo in the images table; -1: none
  double Power = 0;    // pumping stations
};

struct Pipe {
  Ring Path;
  int Diameter = 100; // millimetres
  QString Material;
  int Year = 1970;
  int StreetCode = 0;
};

struct City {
  int Columns = 0, Rows = 0; // blocks across and up
  std::vector<Street> Streets;
  std::vector<StreetSegment> Segments;
  std::vector<Building> Buildings;
  std::vector<Area> Water, Green;
  std::vector<Landmark> Landmarks;
  std::vector<SurveyPoint> Survey;
  std::vector<Node> WaterWells, SewerWells, Hydrants, Pumps;
  std::vector<Pipe> WaterPipes, SewerPipes;
  const Street& StreetByCode(int code) const { return Streets[size_t(code - 1)]; }
};

// Scale 1 is a town of a few thousand objects; the counts grow linearly with the scale.
City BuildCity(int scale, uint64_t seed);

} // namespace demo
