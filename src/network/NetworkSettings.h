#pragma once
// The network tools' settings of an atlas, kept in BASE\NETWORK.INI:
//
//   [Network]
//   Valves=100.1.3        node groups that are shut-off valves (Category.Class.Group,
//   comma-separated) Connections=100.1.4   node groups that are service connections (house inlets)
//   Sources=101.2.1       groups of the objects that feed the water network (pumping stations)
//   Buildings=2.1         the buildings layer (Category.Class) and the address points layer:
//   Addresses=8.1           who loses water is found there
//   BuildingTolerance=5   how far (map units) from an outline a service pipe may end
//   [Epanet]
//   Elevation=            a field of the nodes table with the ground level, if there is one
//   Survey=5.2            else a points layer whose HEIGHT the levels are interpolated from
//   DemandPerConnection=0 base demand of a service connection, L/s
//   SourceHead=40         a source's head above its ground, m
//   [Roughness]
//   <material>=C,L        Hazen-Williams C of a new pipe of the material, and C lost per decade
//   Default=130,3         for materials not listed
//
// A missing file or key names nothing (and the defaults above).

#include <QString>
#include <map>
#include <vector>

namespace network {

struct TNodeGroup {
  int Category = 0, Class = 0, Group = 0;
  bool operator==(const TNodeGroup&) const = default;
};

// A layer of the layers table; Category 0 names none.
struct TLayerClass {
  int Category = 0, Class = 0;
  bool operator==(const TLayerClass&) const = default;
  explicit operator bool() const { return Category != 0; }
};

// Hazen-Williams C of a pipe: `New` when laid, `LossPerDecade` less for every ten years of age.
struct TRoughness {
  double New = 130, LossPerDecade = 3;
};

class TNetworkSettings {
public:
  static constexpr const char* FileName = "NETWORK.INI";

  std::vector<TNodeGroup> Valves, Connections, Sources;
  TLayerClass Buildings, Addresses, Survey;
  double BuildingTolerance = 5;
  QString ElevationField;
  double DemandPerConnection = 0, SourceHead = 40;
  std::map<QString, TRoughness> Roughness; // by material, lower case
  TRoughness DefaultRoughness;

  // Reads the settings of the atlas whose BASE folder is `baseDir`; a value that is not what its
  // key holds raises std::runtime_error naming the file and the key.
  static TNetworkSettings Read(const QString& baseDir);
  // Writes the [Network] keys (the file's other keys and comments kept); raises base::FileError.
  void Write(const QString& baseDir) const;

  bool IsValve(int category, int cls, int group) const;
  bool IsConnection(int category, int cls, int group) const;
  bool IsSource(int category, int cls, int group) const;
  // C of a pipe of this material laid in `year`, in `now` (never below 40: the oldest pipes of
  // the tables still carry water); unknown materials take the default row.
  double RoughnessOf(const QString& material, int year, int now) const;

  static QString Format(const std::vector<TNodeGroup>& groups);
  // Parses "100.1.3, 100.1.5"; false for anything else.
  static bool Parse(const QString& text, std::vector<TNodeGroup>& groups);
};

} // namespace network
