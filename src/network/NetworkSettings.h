#pragma once
// Which node groups of an atlas are shut-off valves and which are service connections (house
// inlets): a setting of the atlas, kept in BASE\NETWORK.INI,
//
//   [Network]
//   Valves=100.1.3
//   Connections=100.1.4
//
// each value a comma-separated list of Category.Class.Group. A missing file names no group.

#include <QString>
#include <vector>

namespace network {

struct TNodeGroup {
  int Category = 0, Class = 0, Group = 0;
  bool operator==(const TNodeGroup&) const = default;
};

class TNetworkSettings {
public:
  static constexpr const char* FileName = "NETWORK.INI";

  std::vector<TNodeGroup> Valves, Connections;

  // Reads the settings of the atlas whose BASE folder is `baseDir`; a value that is not a list
  // of Category.Class.Group raises std::runtime_error naming the file and the key.
  static TNetworkSettings Read(const QString& baseDir);
  // Writes them (the file's other keys and comments kept); raises base::FileError.
  void Write(const QString& baseDir) const;

  bool IsValve(int category, int cls, int group) const;
  bool IsConnection(int category, int cls, int group) const;

  static QString Format(const std::vector<TNodeGroup>& groups);
  // Parses "100.1.3, 100.1.5"; false for anything else.
  static bool Parse(const QString& text, std::vector<TNodeGroup>& groups);
};

} // namespace network
