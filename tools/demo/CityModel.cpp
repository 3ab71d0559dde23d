#include "CityModel.h"

#include "CityNames.h"

#include <algorithm>
#include <cmath>
#include <map>

namespace demo {
namespace {

constexpr double kOriginX = 320000.0; // a projected system in metres, X east, Y north
constexpr double kOriginY = 5590000.0;
constexpr double kPitch = 220.0;      // street spacing
constexpr double kWaterOffset = 4.0;  // water mains run this far north-east of the street axis
constexpr double kSewerOffset = -4.0; // sewers south-west of it
constexpr int kBendPoints = 9; // points of a street between two crossings (odd: one is the middle)

Ring Rectangle(double x0, double y0, double x1, double y1) {
  // Clockwise: an outer ring in the shapefile convention.
  return {{x0, y0}, {x0, y1}, {x1, y1}, {x1, y0}, {x0, y0}};
}

Ring Reversed(Ring r) {
  std::reverse(r.begin(), r.end());
  return r;
}

Ring Ellipse(Point c, double rx, double ry, int n, bool clockwise) {
  Ring r;
  for (int k = 0; k <= n; ++k) {
    const double a = 2 * M_PI * (k % n) / n * (clockwise ? -1 : 1);
    r.push_back({c.X + rx * std::cos(a), c.Y + ry * std::sin(a)});
  }
  return r;
}

Point Shift(Point p, double d) {
  return {p.X + d, p.Y + d};
}

// The y of a polyline at x (the polyline runs west to east).
double YAt(const Ring& path, double x) {
  for (size_t k = 1; k < path.size(); ++k) {
    const Point a = path[k - 1], b = path[k];
    if ((x >= a.X && x <= b.X) || (x <= a.X && x >= b.X)) {
      if (b.X == a.X) return a.Y;
      return a.Y + (b.Y - a.Y) * (x - a.X) / (b.X - a.X);
    }
  }
  return path.front().Y;
}

// Where a point lying on a polyline falls along it: the index of its segment plus the fraction
// of that segment, for sorting points along the line.
double ParamAlong(const Ring& path, Point p) {
  double best = 1e300, param = 0;
  for (size_t k = 1; k < path.size(); ++k) {
    const Point a = path[k - 1], b = path[k];
    const double dx = b.X - a.X, dy = b.Y - a.Y, len2 = dx * dx + dy * dy;
    const double t =
        len2 > 0 ? std::clamp(((p.X - a.X) * dx + (p.Y - a.Y) * dy) / len2, 0.0, 1.0) : 0.0;
    const double ex = a.X + t * dx - p.X, ey = a.Y + t * dy - p.Y;
    const double d = ex * ex + ey * ey;
    if (d < best) best = d, param = double(k - 1) + t;
  }
  return param;
}

// The point `distance` along a polyline from its start (its end when it is shorter).
Point PointAlong(const Ring& path, double distance) {
  for (size_t k = 1; k < path.size(); ++k) {
    const Point a = path[k - 1], b = path[k];
    const double len = std::hypot(b.X - a.X, b.Y - a.Y);
    if (distance <= len && len > 0)
      return {a.X + (b.X - a.X) * distance / len, a.Y + (b.Y - a.Y) * distance / len};
    distance -= len;
  }
  return path.back();
}

// Cuts a polyline at points lying on it: the pieces from start to end, each ending where the
// next begins.
std::vector<Ring> CutAt(const Ring& path, std::vector<Point> cuts) {
  std::sort(cuts.begin(), cuts.end(),
            [&](Point a, Point b) { return ParamAlong(path, a) < ParamAlong(path, b); });
  std::vector<Ring> pieces;
  Ring piece{path.front()};
  size_t next = 1; // the next vertex of the path not yet in a piece
  for (const Point& cut : cuts) {
    const double param = ParamAlong(path, cut);
    while (next < path.size() && double(next) <= param)
      piece.push_back(path[next++]);
    if (piece.back().X != cut.X || piece.back().Y != cut.Y) piece.push_back(cut);
    if (piece.size() >= 2) pieces.push_back(piece);
    piece = Ring{cut};
  }
  while (next < path.size())
    piece.push_back(path[next++]);
  if (piece.size() >= 2) pieces.push_back(piece);
  return pieces;
}

// How far along its main a segment's shut-off valve stands from the first crossing, in metres.
constexpr double kValveFromCrossing = 14;

class CityBuilder {
public:
  CityBuilder(int scale, uint64_t seed) : Rng(seed) {
    const double side = std::sqrt(double(std::max(1, scale)));
    C.Columns = std::max(3, int(std::lround(12 * side)));
    C.Rows = std::max(3, int(std::lround(10 * side)));
    ParkI = C.Columns / 3;
    ParkJ = C.Rows / 2;
    for (int i = 0; i <= C.Columns; ++i)
      Xs.push_back(kOriginX + i * kPitch + Rng.Uniform(-15, 15));
    for (int j = 0; j <= C.Rows; ++j)
      Ys.push_back(kOriginY + j * kPitch + Rng.Uniform(-15, 15));
  }

  City Build() {
    MakeStreets();
    MakeAreas();
    MakeBuildings();
    MakeSurveyPoints();
    MakeWaterNetwork();
    MakeSewerNetwork();
    MakePumpingStations();
    return std::move(C);
  }

private:
  int CrossingCode(int i, int j) const { return j * (C.Columns + 1) + i + 1; }
  Point Crossing(int i, int j) const {
    return {Xs[size_t(i)] + 5 * std::sin(0.9 * j + i), Ys[size_t(j)] + 5 * std::cos(0.7 * i + j)};
  }
  // The points of a street between two crossings (the crossings themselves excluded): the street
  // bows gently to one side, by up to 3 m.
  Ring Bend(Point a, Point b, int k) const {
    const double dx = b.X - a.X, dy = b.Y - a.Y;
    const double length = std::hypot(dx, dy);
    const double nx = length > 0 ? -dy / length : 0, ny = length > 0 ? dx / length : 0;
    const double amplitude = 3 * std::sin(k * 1.3);
    Ring r;
    for (int n = 1; n < kBendPoints + 1; ++n) {
      const double t = double(n) / (kBendPoints + 1);
      const double off = amplitude * std::sin(M_PI * t);
      r.push_back({a.X + dx * t + nx * off, a.Y + dy * t + ny * off});
    }
    return r;
  }
  bool IsBigPark(int i, int j) const { return j == ParkJ && (i == ParkI || i == ParkI + 1); }
  bool IsPark(int i, int j) const { return IsBigPark(i, j) || (i * 7 + j * 3) % 17 == 5; }
  // The vertical street between the two park blocks is cut by the park.
  bool VerticalGap(int i, int j) const { return i == ParkI + 1 && j == ParkJ; }

  void AddStreet(const QString& name, const QString& type,
                 std::vector<std::vector<std::pair<int, int>>> runs) {
    Street s;
    s.Code = int(C.Streets.size()) + 1;
    s.Name = name;
    s.Type = type;
    int k = s.Code * 17;
    for (const auto& run : runs) {
      Ring part;
      for (size_t n = 0; n < run.size(); ++n) {
        const Point p = Crossing(run[n].first, run[n].second);
        if (n > 0) {
          const Point prev = Crossing(run[n - 1].first, run[n - 1].second);
          for (const Point& q : Bend(prev, p, ++k))
            part.push_back(q);
          C.Segments.push_back({s.Code, prev, p, CrossingCode(run[n - 1].first, run[n - 1].second),
                                CrossingCode(run[n].first, run[n].second), k});
        }
        part.push_back(p);
      }
      s.Parts.push_back(part);
    }
    C.Streets.push_back(std::move(s));
  }

  void MakeStreets() {
    int nameIndex = 0;
    for (int j = 0; j <= C.Rows; ++j) {
      const QString type = j % 6 == 0   ? QString::fromUtf8("просп.")
                           : j % 4 == 3 ? QString::fromUtf8("пров.")
                                        : QString::fromUtf8("вул.");
      std::vector<std::pair<int, int>> run;
      for (int i = 0; i <= C.Columns; ++i)
        run.push_back({i, j});
      AddStreet(StreetName(nameIndex++), type, {run});
      HorizontalStreet.push_back(C.Streets.back().Code);
    }
    for (int i = 0; i <= C.Columns; ++i) {
      const QString type = i % 5 == 0 ? QString::fromUtf8("бульвар") : QString::fromUtf8("вул.");
      std::vector<std::vector<std::pair<int, int>>> runs(1);
      for (int j = 0; j <= C.Rows; ++j) {
        if (j > 0 && VerticalGap(i, j - 1)) runs.emplace_back();
        runs.back().push_back({i, j});
      }
      AddStreet(StreetName(nameIndex++), type, runs);
      VerticalStreet.push_back(C.Streets.back().Code);
    }
  }

  void MakeAreas() {
    // The river south of the town.
    Ring north, south;
    const double x0 = Xs.front() - 300, x1 = Xs.back() + 300;
    for (double x = x0; x <= x1 + 1; x += 50) {
      const double y = Ys.front() - 170 + 35 * std::sin((x - x0) / 420);
      north.push_back({x, y + 30 + 6 * std::sin(x / 97)});
      south.push_back({x, y - 30 - 6 * std::cos(x / 83)});
    }
    Ring river = south;
    for (auto it = north.rbegin(); it != north.rend(); ++it)
      river.push_back(*it);
    river.push_back(river.front());
    // Walking the south bank east, then the north bank west, is anticlockwise: reverse it.
    C.Water.push_back(
        {{Reversed(river)}, QString::fromUtf8("р. Либідь"), QString::fromUtf8("річка")});
    int parks = 0;
    for (int j = 0; j < C.Rows; ++j)
      for (int i = 0; i < C.Columns; ++i) {
        if (!IsPark(i, j) || (IsBigPark(i, j) && i == ParkI + 1)) continue;
        const double right = IsBigPark(i, j) ? Xs[size_t(i + 2)] : Xs[size_t(i + 1)];
        C.Green.push_back({{Rectangle(Xs[size_t(i)] + 12, Ys[size_t(j)] + 12, right - 12,
                                      Ys[size_t(j + 1)] - 12)},
                           IsBigPark(i, j) ? QString::fromUtf8("Центральний парк")
                                           : QString::fromUtf8("Сквер №%1").arg(++parks),
                           QString::fromUtf8("парк")});
      }
    // A lake with an island in the east of the big park: the park's name, at its middle, and the
    // lake's stand apart.
    const Point centre{Xs[size_t(ParkI + 1)] + 115,
                       (Ys[size_t(ParkJ)] + Ys[size_t(ParkJ + 1)]) / 2 - 20};
    C.Water.push_back({{Ellipse(centre, 65, 45, 32, true), Ellipse(centre, 16, 10, 12, false)},
                       QString::fromUtf8("Озеро Лебедине"),
                       QString::fromUtf8("озеро")});
  }

  QString NextNumber(int street, int side) {
    int& n = HouseNumbers[{street, side}];
    n = n == 0 ? (side == 0 ? 2 : 1) : n + 2;
    return QString::number(n);
  }

  void AddBuilding(double x0, double y0, double x1, double y1, int street, int side) {
    Building b;
    const double r = Rng.Uniform(0, 1);
    const double w = x1 - x0, h = y1 - y0;
    if (r < 0.08 && w > 40 && h > 30) {
      // A block of flats around a courtyard: the hole is an anticlockwise ring.
      b.Rings = {Rectangle(x0, y0, x1, y1),
                 Reversed(Rectangle(x0 + w * 0.3, y0 + h * 0.3, x1 - w * 0.3, y1 - h * 0.3))};
    } else if (r < 0.14) {
      // A house with a separate outbuilding: two outer rings.
      b.Rings = {Rectangle(x0, y0, x0 + w * 0.6, y1),
                 Rectangle(x0 + w * 0.72, y0, x1, y0 + h * 0.45)};
    } else if (r < 0.27) {
      // An L-shaped building.
      const double cx = x0 + w * 0.5, cy = y0 + h * 0.5;
      b.Rings = {{{x0, y0}, {x0, y1}, {cx, y1}, {cx, cy}, {x1, cy}, {x1, y0}, {x0, y0}}};
    } else {
      b.Rings = {Rectangle(x0, y0, x1, y1)};
    }
    b.Centre = {(x0 + x1) / 2, (y0 + y1) / 2};
    b.StreetCode = street;
    b.Number = NextNumber(street, side);
    b.Floors = Rng.Int(1, 16);
    b.Name = QString::fromUtf8("Житловий будинок");
    b.Type = QString::fromUtf8("житловий");
    b.Fill = b.Floors > 9 ? 0x00B0C4DE : 0x00D3E0EA;
    if (Rng.Chance(0.06)) {
      const auto& kinds = PublicBuildingKinds();
      const BuildingKind& kind = kinds[size_t(Rng.Int(0, int(kinds.size()) - 1))];
      const int number = ++KindCounts[kind.Type];
      b.Name = kind.Numbered ? kind.Name + QString::number(number) : kind.Name;
      b.Type = kind.Type;
      b.Fill = 0x0080C0F0;
      b.Hatch = kind.Type == QString::fromUtf8("церква") ? 6 : 0;
      b.InfoFile = QString("obj%1.htm").arg(C.Buildings.size() + 1);
      Landmark l;
      l.At = b.Centre;
      l.Name = b.Name;
      l.Type = kind.Type;
      l.Number = b.Number;
      l.InfoFile = b.InfoFile;
      l.StreetCode = street;
      l.Symbol = kind.Symbol;
      l.Colour = kind.Colour;
      l.Size = 12 + 2 * Rng.Int(0, 3);
      C.Landmarks.push_back(l);
    }
    C.Buildings.push_back(std::move(b));
  }

  void MakeBuildings() {
    for (int j = 0; j < C.Rows; ++j)
      for (int i = 0; i < C.Columns; ++i) {
        if (IsPark(i, j)) continue;
        const double bx0 = Xs[size_t(i)] + 16, bx1 = Xs[size_t(i + 1)] - 16;
        const double by0 = Ys[size_t(j)] + 16, by1 = Ys[size_t(j + 1)] - 16;
        const int lots = 3;
        const double lotW = (bx1 - bx0) / lots, lotH = (by1 - by0) / 2;
        for (int row = 0; row < 2; ++row)
          for (int lot = 0; lot < lots; ++lot) {
            const double w = lotW * Rng.Uniform(0.55, 0.85), h = lotH * Rng.Uniform(0.45, 0.75);
            const double x0 = bx0 + lot * lotW + (lotW - w) / 2;
            // Buildings stand near the street they face: the bottom row faces street j, the
            // top row street j + 1.
            const double y0 = row == 0 ? by0 + 4 : by1 - 4 - h;
            const int street = HorizontalStreet[size_t(row == 0 ? j : j + 1)];
            AddBuilding(x0, y0, x0 + w, y0 + h, street, row == 0 ? 0 : 1);
            BuildingRow.push_back({i, j, row});
          }
      }
  }

  void MakeSurveyPoints() {
    int n = 0;
    for (int j = 0; j <= C.Rows; ++j)
      for (int i = 0; i <= C.Columns; ++i)
        if ((i + 2 * j) % 7 == 0) {
          const Point p = Crossing(i, j);
          C.Survey.push_back(
              {{p.X + 9, p.Y - 9}, QString::fromUtf8("ГП-%1").arg(++n), 150 + Rng.Uniform(0, 30)});
        }
  }

  Node MakeNode(std::vector<Node>& table, Point at, int group, const QString& name,
                const QString& type, int street) {
    Node n;
    n.Code = int(table.size()) + 1;
    n.Group = group;
    n.At = at;
    n.Name = name;
    n.Type = type;
    n.StreetCode = street;
    table.push_back(n);
    return n;
  }

  // The main pipe of a street segment, from node to node, bent like the street.
  Pipe Main(const StreetSegment& s, double offset) const {
    Pipe p;
    p.Path.push_back(Shift(s.A, offset));
    for (const Point& q : Bend(s.A, s.B, s.Bow))
      p.Path.push_back(Shift(q, offset));
    p.Path.push_back(Shift(s.B, offset));
    p.StreetCode = s.StreetCode;
    return p;
  }

  void MakeWaterNetwork() {
    for (int j = 0; j <= C.Rows; ++j)
      for (int i = 0; i <= C.Columns; ++i) {
        MakeNode(C.WaterWells, Shift(Crossing(i, j), kWaterOffset), 1,
                 QString::fromUtf8("ВК-%1").arg(C.WaterWells.size() + 1),
                 QString::fromUtf8("водопровідний колодязь"), VerticalStreet[size_t(i)]);
        C.WaterWells.back().ImageIndex = (i + j) % 5 == 0 ? -1 : 3;
      }
    // The buildings served from each street segment's main.
    std::map<std::pair<int, int>, std::vector<size_t>> servedBy;
    for (size_t b = 0; b < C.Buildings.size(); ++b) {
      const auto [i, j, row] = BuildingRow[b];
      const int jj = row == 0 ? j : j + 1;
      servedBy[{CrossingCode(i, jj), CrossingCode(i + 1, jj)}].push_back(b);
    }
    // Mains along every street segment, cut into pieces at their nodes: a shut-off valve a few
    // metres from the segment's first crossing, and a tee well where each building's service
    // pipe leaves the main. A hydrant stands on every other main.
    int k = 0;
    for (const StreetSegment& s : C.Segments) {
      ++k;
      const Pipe main = Main(s, kWaterOffset);
      Pipe piece = main;
      const bool avenue = C.StreetByCode(s.StreetCode).Type == QString::fromUtf8("просп.");
      piece.Diameter = avenue ? 300 : (k % 3 == 0 ? 200 : 150);
      piece.Material = k % 4 == 0   ? QString::fromUtf8("поліетилен")
                       : k % 4 == 1 ? QString::fromUtf8("чавун")
                                    : QString::fromUtf8("сталь");
      piece.Year = 1955 + Rng.Int(0, 65);
      if (k % 2 == 0) {
        Node& h = C.Hydrants.emplace_back();
        h.Code = int(C.Hydrants.size());
        h.Group = 1;
        // Underground, in a well on the main itself, at a vertex of the pipe.
        h.At = main.Path[main.Path.size() / 2];
        h.Name = QString::fromUtf8("ПГ-%1").arg(h.Code);
        h.Type = QString::fromUtf8("пожежний гідрант");
        h.StreetCode = s.StreetCode;
        h.ImageIndex = 2;
      }
      const Point valve = PointAlong(main.Path, kValveFromCrossing);
      MakeNode(C.WaterWells, valve, 3, QString::fromUtf8("ЗС-%1").arg(C.WaterWells.size() + 1),
               QString::fromUtf8("засувка"), s.StreetCode);
      std::vector<Point> cuts{valve};
      std::vector<std::pair<Point, size_t>> services;
      const auto served = servedBy.find({std::min(s.NodeA, s.NodeB), std::max(s.NodeA, s.NodeB)});
      if (served != servedBy.end())
        for (size_t b : served->second) {
          const double x = C.Buildings[b].Centre.X - 5;
          const Point tee{x, YAt(main.Path, x)};
          // Buildings facing each other across the street share one tee.
          const bool shared = std::any_of(cuts.begin() + 1, cuts.end(), [&](Point c) {
            return std::fabs(c.X - tee.X) < 0.5 && std::fabs(c.Y - tee.Y) < 0.5;
          });
          if (!shared) {
            MakeNode(C.WaterWells, tee, 1, QString::fromUtf8("ВК-%1").arg(C.WaterWells.size() + 1),
                     QString::fromUtf8("водопровідний колодязь"), s.StreetCode);
            cuts.push_back(tee);
          }
          services.emplace_back(tee, b);
        }
      for (Ring& part : CutAt(main.Path, cuts)) {
        piece.Path = std::move(part);
        C.WaterPipes.push_back(piece);
      }
      for (const auto& [tee, b] : services)
        AddServicePipe(tee, b);
    }
  }

  // The service pipe from a tee on the main to the inlet of building `b`.
  void AddServicePipe(Point tee, size_t b) {
    const Building& building = C.Buildings[b];
    const Extent box = BoxOf(building);
    const auto [i, j, row] = BuildingRow[b];
    (void)i, (void)j;
    const Point inlet{tee.X, row == 0 ? box.YMin : box.YMax};
    // Some inlets are not surveyed yet: their service pipes end on no node.
    if (b % 19 != 7) {
      MakeNode(C.WaterWells, inlet, 4, QString::fromUtf8("Ввід %1").arg(building.Number),
               QString::fromUtf8("ввід у будинок"), building.StreetCode);
      C.WaterWells.back().Number = building.Number;
    }
    Pipe p;
    p.Path = {tee, inlet};
    p.Diameter = 50;
    p.Material = QString::fromUtf8("поліетилен");
    p.Year = 1980 + Rng.Int(0, 40);
    p.StreetCode = building.StreetCode;
    C.WaterPipes.push_back(p);
  }

  static Extent BoxOf(const Building& b) {
    Extent e;
    for (const Ring& r : b.Rings)
      for (const Point& p : r)
        e.Add(p);
    return e;
  }

  void MakeSewerNetwork() {
    for (int j = 0; j <= C.Rows; ++j)
      for (int i = 0; i <= C.Columns; ++i)
        MakeNode(C.SewerWells, Shift(Crossing(i, j), kSewerOffset), 1,
                 QString::fromUtf8("КК-%1").arg(C.SewerWells.size() + 1),
                 QString::fromUtf8("оглядовий колодязь"), VerticalStreet[size_t(i)]);
    std::map<std::pair<int, int>, Point> midWell;
    int k = 0;
    for (const StreetSegment& s : C.Segments) {
      ++k;
      const Pipe main = Main(s, kSewerOffset);
      const size_t middle = main.Path.size() / 2;
      const Point mid = main.Path[middle];
      MakeNode(C.SewerWells, mid, 1, QString::fromUtf8("КК-%1").arg(C.SewerWells.size() + 1),
               QString::fromUtf8("оглядовий колодязь"), s.StreetCode);
      midWell[{std::min(s.NodeA, s.NodeB), std::max(s.NodeA, s.NodeB)}] = mid;
      for (int half = 0; half < 2; ++half) {
        Pipe p;
        p.Path = half == 0 ? Ring(main.Path.begin(), main.Path.begin() + std::ptrdiff_t(middle) + 1)
                           : Ring(main.Path.begin() + std::ptrdiff_t(middle), main.Path.end());
        p.Diameter = k % 5 == 0 ? 400 : (k % 2 == 0 ? 300 : 200);
        p.Material = k % 3 == 0   ? QString::fromUtf8("бетон")
                     : k % 3 == 1 ? QString::fromUtf8("кераміка")
                                  : QString::fromUtf8("ПВХ");
        p.Year = 1950 + Rng.Int(0, 70);
        p.StreetCode = s.StreetCode;
        C.SewerPipes.push_back(p);
      }
    }
    // The outlet of every building, led to the manhole in the middle of its street's segment.
    for (size_t b = 0; b < C.Buildings.size(); ++b) {
      const auto [i, j, row] = BuildingRow[b];
      const int jj = row == 0 ? j : j + 1;
      const auto it = midWell.find({CrossingCode(i, jj), CrossingCode(i + 1, jj)});
      if (it == midWell.end()) continue;
      const Building& building = C.Buildings[b];
      const Extent box = BoxOf(building);
      const Point outlet{building.Centre.X + 6, row == 0 ? box.YMin : box.YMax};
      MakeNode(C.SewerWells, outlet, 2, QString::fromUtf8("Випуск %1").arg(building.Number),
               QString::fromUtf8("випуск з будинку"), building.StreetCode);
      C.SewerWells.back().Number = building.Number;
      Pipe p;
      p.Path = {outlet, {outlet.X, it->second.Y}, it->second};
      p.Diameter = 150;
      p.Material = QString::fromUtf8("ПВХ");
      p.Year = 1975 + Rng.Int(0, 45);
      p.StreetCode = building.StreetCode;
      C.SewerPipes.push_back(p);
    }
  }

  void MakePumpingStations() {
    for (int j = 1; j < C.Rows; j += 4)
      for (int i = 2; i < C.Columns; i += 5) {
        Node& n = C.Pumps.emplace_back();
        n.Code = int(C.Pumps.size());
        n.Group = n.Code % 3 == 0 ? 2 : 1;
        const Point c = Crossing(i, j);
        n.At = {c.X + 30, c.Y + 30};
        n.Name = n.Group == 1 ? QString::fromUtf8("Водопровідна насосна станція №%1").arg(n.Code)
                              : QString::fromUtf8("Каналізаційна насосна станція №%1").arg(n.Code);
        n.Type = n.Group == 1 ? QString::fromUtf8("ВНС") : QString::fromUtf8("КНС");
        n.StreetCode = VerticalStreet[size_t(i)];
        n.Number = QString::number(2 * n.Code + 1);
        n.Phone = QString("(044) 2%1-%2-%3")
                      .arg(10 + n.Code % 90)
                      .arg(10 + (n.Code * 7) % 90)
                      .arg(10 + (n.Code * 13) % 90);
        n.ImageIndex = 1;
        n.Power = 15 + Rng.Int(0, 235);
      }
  }

  struct Lot {
    int I, J, Row;
  };

  Random Rng;
  City C;
  std::vector<double> Xs, Ys;
  std::vector<int> HorizontalStreet, VerticalStreet;
  std::vector<Lot> BuildingRow;
  std::map<std::pair<int, int>, int> HouseNumbers;
  std::map<QString, int> KindCounts;
  int ParkI = 0, ParkJ = 0;
};

} // namespace

City BuildCity(int scale, uint64_t seed) {
  return CityBuilder(scale, seed).Build();
}

} // namespace demo
