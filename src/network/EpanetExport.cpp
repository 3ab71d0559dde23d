#include "EpanetExport.h"

#include "NetworkCheck.h"
#include "Pieces.h"
#include "ShutOff.h"
#include "TableColumns.h"

#include "base/PathResolver.h"
#include "layers/GeometryFile.h"

#include <QFileInfo>
#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <stdexcept>

namespace network {

namespace {

constexpr double kShortestPipe = 0.01;   // m: shorter pipes make the solver's matrix singular
constexpr double kSourceReach = 300;     // m: how far a source may stand from the network
constexpr double kRequiredPressure = 10; // m: full demand above it (pressure-driven demand)

// A number of the model, with a point whatever the desktop's language. NaN, infinity or a
// number no network has (a 309-digit demand) would be "solved" into nonsense: refused.
QString Number(double value, int decimals = 2) {
  if (!std::isfinite(value) || std::fabs(value) > 1e12)
    throw std::runtime_error(QString::fromUtf8("Модель не записано: число %1 не може бути в "
                                               "моделі мережі")
                                 .arg(value)
                                 .toStdString());
  return QString::number(value, 'f', decimals);
}

// A text written into the model on one line: a line break (or any control character) would
// start a line, and so a section, of its own.
QString OneLine(QString text) {
  for (QChar& c : text)
    if (c.category() == QChar::Other_Control || c == QChar::LineSeparator ||
        c == QChar::ParagraphSeparator)
      c = ' ';
  return text;
}

QString Utf8(const char* text) {
  return QString::fromUtf8(text);
}

// Survey points with their heights: the ground level anywhere is interpolated from them.
struct TSurvey {
  std::vector<TWorldPoint> At;
  std::vector<double> Height;

  // Inverse distance squared over the nearest three; a point on a survey point takes its height.
  double LevelAt(const TWorldPoint& p) const {
    std::pair<double, size_t> nearest[3];
    size_t found = 0;
    for (size_t i = 0; i < At.size(); ++i) {
      const double dx = At[i].X - p.X, dy = At[i].Y - p.Y;
      std::pair<double, size_t> candidate{dx * dx + dy * dy, i};
      if (found == 3 && candidate >= nearest[2]) continue;
      if (found < 3) ++found;
      // Insertion into the three kept, nearest first.
      size_t k = found - 1;
      for (; k > 0 && candidate < nearest[k - 1]; --k)
        nearest[k] = nearest[k - 1];
      nearest[k] = candidate;
    }
    double weights = 0, sum = 0;
    for (size_t k = 0; k < found; ++k) {
      const auto [d2, i] = nearest[k];
      if (d2 < 1e-12) return Height[i];
      weights += 1 / d2;
      sum += Height[i] / d2;
    }
    return weights > 0 ? sum / weights : 0;
  }
};

TSurvey ReadSurvey(const QString& baseDir, const QString& mapsDir, TLayerClass layer) {
  TSurvey survey;
  const auto file = FindLayerFile(baseDir, layer.Category, layer.Class);
  if (!file)
    throw std::runtime_error(Utf8("Шару геодезичних пунктів %1.%2 ([Epanet] Survey= у BASE\\%3) "
                                  "немає в таблиці шарів ClassReest")
                                 .arg(layer.Category)
                                 .arg(layer.Class)
                                 .arg(TNetworkSettings::FileName)
                                 .toStdString());
  db::Table rows(mapsDir, QFileInfo(*file).completeBaseName() + ".dbf");
  rows.Open();
  const size_t height = Column(rows, "HEIGHT");
  TGeometryFile geometry(base::ResolvePath(mapsDir, *file));
  TGeometryFile::Record r;
  while (geometry.Next(r)) {
    const int row = rows.PositionOfRecord(r.Index);
    if (!r.HasBox || row < 0 || db::IsNull(rows.ValueAt(row, height))) continue;
    const double h = db::ValueToFloat(rows.ValueAt(row, height));
    if (!std::isfinite(h) || !std::isfinite(r.XMin) || !std::isfinite(r.YMin)) continue;
    survey.At.push_back({r.XMin, r.YMin});
    survey.Height.push_back(h);
  }
  return survey;
}

struct TSource {
  int64_t Code = 0;
  QString Name;
  TWorldPoint At;
};

// The objects of the source groups, from the objects tables of their classes.
std::vector<TSource> ReadSources(const QString& baseDir, const QString& mapsDir,
                                 const TNetworkSettings& settings) {
  std::vector<TSource> sources;
  std::set<std::pair<int, int>> classes;
  for (const TNodeGroup& g : settings.Sources)
    classes.insert({g.Category, g.Class});
  for (const auto& [category, cls] : classes) {
    const auto file = FindLayerFile(baseDir, category, cls);
    if (!file) continue;
    db::Table rows(mapsDir, *file);
    rows.Open();
    const std::vector<size_t> fields = {Column(rows, "Category"), Column(rows, "Class"),
                                        Column(rows, "NUMGROUP"), Column(rows, "ObjectCode"),
                                        Column(rows, "X"),        Column(rows, "Y")};
    const auto name = OptionalColumn(rows, "NAME");
    rows.ReadColumns(fields, [&](size_t row, const std::vector<db::Value>& v) {
      if (db::IsNull(v[3]) ||
          !settings.IsSource(int(db::ValueToInteger(v[0])), int(db::ValueToInteger(v[1])),
                             int(db::ValueToInteger(v[2]))))
        return;
      TSource s{
          db::ValueToInteger(v[3]), QString(), {db::ValueToFloat(v[4]), db::ValueToFloat(v[5])}};
      if (name) s.Name = db::ValueToString(rows.ValueAt(int(row), *name)).trimmed();
      if (std::isfinite(s.At.X) && std::isfinite(s.At.Y)) sources.push_back(s);
    });
  }
  return sources;
}

class TModelBuilder {
public:
  TModelBuilder(const QString& baseDir, const QString& mapsDir, const TNetworkSettings& settings,
                const TEpanetOptions& options)
      : BaseDir(baseDir), MapsDir(mapsDir), Settings(settings), Options(options) {}

  TEpanetModel Build() {
    Graph = TNetworkGraph::Load(SourceOf(BaseDir, MapsDir, kWaterNetwork));
    if (!Graph->HasTopology())
      throw std::runtime_error(Utf8("У таблиці Water.dbf не обчислено вузлів на кінцях труб: "
                                    "спершу виконайте \"Узгодження топологічної моделі\"")
                                   .toStdString());
    Paths = Graph->PipePaths();
    Lengths = Graph->PipeLengths();
    Places = Graph->NodePlaces();
    Attributes = Graph->PipeTexts({"DIAMETER", "MATERIAL", "YEAR"});
    Kept.assign(Graph->Pipes().size(), true);
    LeaveOutWhatTheCheckFinds();
    LeaveOutWhatTheSolverRefuses();
    JoinSources();
    LeaveOutPiecesWithoutSource();
    CloseShutOff();
    Levels();
    Write();
    return std::move(Model);
  }

private:
  const TNetworkGraph::Pipe& PipeAt(int p) const { return Graph->Pipes()[size_t(p)]; }

  void LeaveOut(int pipe, const QString& why) {
    if (!Kept[size_t(pipe)]) return;
    Kept[size_t(pipe)] = false;
    Model.LeftOut << why;
  }

  // The network check's own rows for what the solver cannot take.
  void LeaveOutWhatTheCheckFinds() {
    const TNetworkCheck check = CheckNetwork(*Graph);
    const std::vector<TCheckFinding> rows = NetworkCheckFindings(*Graph, check);
    size_t row = check.Pieces.size();
    const QString notWritten = Utf8(" — не записано");
    for (const auto& [pipe, end] : check.OpenEnds)
      LeaveOut(pipe, rows[row++].Text + notWritten);
    row += check.LonelyNodes.size();
    for (size_t k = 0; k < check.CloseNodes.size(); ++k)
      Model.Notes << rows[row++].Text;
    for (const int pipe : check.Loops)
      LeaveOut(pipe, rows[row++].Text + notWritten);
    for (const int pipe : check.DamagedPipes)
      LeaveOut(pipe, rows[row++].Text + notWritten);
  }

  void LeaveOutWhatTheSolverRefuses() {
    std::set<int64_t> codes;
    for (int p = 0; p < int(Graph->Pipes().size()); ++p) {
      if (!Kept[size_t(p)]) continue;
      const int64_t code = PipeAt(p).Code;
      if (code < 0 || !codes.insert(code).second) {
        LeaveOut(p, Utf8("Труба запису %1: номер %2 не свій — не записано")
                        .arg(PipeAt(p).Record + 1)
                        .arg(code));
        continue;
      }
      if (Lengths[size_t(p)] < kShortestPipe) {
        LeaveOut(p, Utf8("Труба %1 коротша за 0,01 м — не записано").arg(code));
        continue;
      }
      bool ok = false;
      const double diameter = Attributes[size_t(p)][kDiameter].toDouble(&ok);
      if (!ok || diameter <= 0)
        LeaveOut(p, Utf8("Труба %1 без діаметра (DIAMETER) — не записано").arg(code));
    }
  }

  // Each source joins the nearest node of the pipes kept, by a short pipe of its own.
  void JoinSources() {
    const std::vector<TSource> sources = ReadSources(BaseDir, MapsDir, Settings);
    if (sources.empty())
      throw std::runtime_error(Utf8("Немає джерел води: у BASE\\%1 [Network] Sources= не названо "
                                    "груп насосних станцій, або в них немає об'єктів")
                                   .arg(TNetworkSettings::FileName)
                                   .toStdString());
    for (const TSource& s : sources) {
      int best = -1;
      double distance = std::numeric_limits<double>::infinity();
      for (int node = 0; node < int(Graph->Nodes().size()); ++node) {
        const TWorldPoint& at = Places[size_t(node)];
        const double d = std::hypot(at.X - s.At.X, at.Y - s.At.Y);
        if (d < distance && Used(node)) distance = d, best = node; // NaN is never less
      }
      if (best < 0 || distance > kSourceReach) {
        Model.LeftOut << Utf8("Джерело %1 (%2): вузла мережі ближче %3 м немає — не записано")
                             .arg(s.Code)
                             .arg(s.Name)
                             .arg(kSourceReach);
        continue;
      }
      Joined.push_back({s, best, std::max(1.0, distance)});
      Model.Notes << Utf8("Джерело R%1 (%2) приєднано до вузла %3 трубою S%1 довжиною %4 м")
                         .arg(s.Code)
                         .arg(s.Name)
                         .arg(Graph->Nodes()[size_t(best)].Code)
                         .arg(Number(std::max(1.0, distance), 1));
    }
    if (Joined.empty())
      throw std::runtime_error(Utf8("Жодне джерело води не стоїть біля мережі").toStdString());
  }

  bool Used(int node) const {
    for (const int p : Graph->PipesAt(node))
      if (Kept[size_t(p)]) return true;
    return false;
  }

  void LeaveOutPiecesWithoutSource() {
    TPieces pieces(Graph->Nodes().size());
    for (int p = 0; p < int(Graph->Pipes().size()); ++p)
      if (Kept[size_t(p)])
        pieces.Join(Graph->NodeOfCode(PipeAt(p).Hub[0]), Graph->NodeOfCode(PipeAt(p).Hub[1]));
    std::set<int> fed;
    for (const auto& j : Joined)
      fed.insert(pieces.Find(j.Node));
    std::map<int, std::vector<int>> unfed;
    for (int p = 0; p < int(Graph->Pipes().size()); ++p)
      if (Kept[size_t(p)]) {
        const int root = pieces.Find(Graph->NodeOfCode(PipeAt(p).Hub[0]));
        if (!fed.count(root)) unfed[root].push_back(p);
      }
    for (const auto& [root, pipes] : unfed) {
      QStringList codes;
      double length = 0;
      for (const int p : pipes) {
        codes << QString::number(PipeAt(p).Code);
        length += Lengths[size_t(p)];
        Kept[size_t(p)] = false;
      }
      Model.LeftOut << Utf8("Частина мережі без джерела: труб %1, довжина %2 м (труби %3) — не "
                            "записано")
                           .arg(pipes.size())
                           .arg(Number(length, 1))
                           .arg(codes.join(", "));
    }
  }

  // The pipes at the valves the shut-off closes, on the dry side of each.
  void CloseShutOff() {
    if (!Options.IsolatePipe) return;
    const TShutOff shutOff =
        ShutOffPipe(*Graph, Settings, *Options.IsolatePipe, Options.FailedValves);
    std::vector<bool> dry(Graph->Pipes().size(), false);
    for (const int p : shutOff.DryPipes)
      dry[size_t(p)] = true;
    for (const int valve : shutOff.Valves)
      for (const int p : Graph->PipesAt(valve))
        if (dry[size_t(p)] && Kept[size_t(p)]) Closed.insert(p);
    Model.Notes << Utf8("Відключення труби %1: закрито труб при засувках — %2")
                       .arg(*Options.IsolatePipe)
                       .arg(Closed.size());
  }

  void Levels() {
    Level.assign(Graph->Nodes().size(), 0);
    TSurvey survey;
    if (Settings.Survey) survey = ReadSurvey(BaseDir, MapsDir, Settings.Survey);
    int fromField = 0, interpolated = 0, unknown = 0;
    for (int node = 0; node < int(Graph->Nodes().size()); ++node) {
      if (!Used(node) && !IsJoined(node)) continue;
      bool ok = false;
      if (!Settings.ElevationField.isEmpty()) {
        const double level =
            Graph->NodeText(node, Settings.ElevationField.toLatin1().constData()).toDouble(&ok);
        if (ok) {
          Level[size_t(node)] = level;
          ++fromField;
          continue;
        }
      }
      const TWorldPoint& at = Places[size_t(node)];
      if (!survey.At.empty() && std::isfinite(at.X) && std::isfinite(at.Y)) {
        Level[size_t(node)] = survey.LevelAt(at);
        ++interpolated;
      } else {
        ++unknown;
      }
    }
    if (!Settings.ElevationField.isEmpty())
      Model.Notes
          << Utf8("Висоти вузлів з поля %1: %2").arg(Settings.ElevationField).arg(fromField);
    if (interpolated)
      Model.Notes << Utf8("Висоти вузлів, інтерпольовані з геодезичних пунктів (%1): %2")
                         .arg(survey.At.size())
                         .arg(interpolated);
    if (unknown)
      Model.Notes << Utf8("Висоти вузлів невідомі (немає [Epanet] Elevation= чи Survey= у BASE\\%1 "
                          "або значення): узято 0 м для %2")
                         .arg(TNetworkSettings::FileName)
                         .arg(unknown);
    for (auto& j : Joined)
      j.Level = survey.At.empty() ? Level[size_t(j.Node)] : survey.LevelAt(j.Source.At);
  }

  bool IsJoined(int node) const {
    return std::any_of(Joined.begin(), Joined.end(), [&](const auto& j) { return j.Node == node; });
  }

  void Write();

  struct TJoined {
    TSource Source;
    int Node = -1;
    double Length = 0, Level = 0;
  };

  const QString BaseDir, MapsDir;
  const TNetworkSettings& Settings;
  const TEpanetOptions& Options;
  std::unique_ptr<TNetworkGraph> Graph;
  std::vector<std::vector<TWorldPoint>> Paths;
  std::vector<double> Lengths;
  std::vector<TWorldPoint> Places;
  enum { kDiameter, kMaterial, kYear };
  std::vector<std::vector<QString>> Attributes;
  std::vector<bool> Kept;
  std::vector<TJoined> Joined;
  std::set<int> Closed;
  std::vector<double> Level;
  TEpanetModel Model;
};

void TModelBuilder::Write() {
  QStringList junctions, pipes, coordinates, vertices;
  const auto nodeId = [&](int node) { return QString::number(Graph->Nodes()[size_t(node)].Code); };
  for (int node = 0; node < int(Graph->Nodes().size()); ++node) {
    if (!Used(node)) continue;
    const bool connection = Settings.IsConnection(Graph->Source().Category, Graph->Source().Class,
                                                  Graph->Nodes()[size_t(node)].Group);
    junctions << QString(" %1\t%2\t%3")
                     .arg(nodeId(node), Number(Level[size_t(node)]),
                          Number(connection ? Settings.DemandPerConnection : 0, 4));
    const TWorldPoint& at = Places[size_t(node)];
    if (std::isfinite(at.X) && std::isfinite(at.Y))
      coordinates << QString(" %1\t%2\t%3").arg(nodeId(node), Number(at.X, 3), Number(at.Y, 3));
    ++Model.Junctions;
  }
  QStringList reservoirs;
  for (const TJoined& j : Joined) {
    const QString id = QString("R%1").arg(j.Source.Code);
    reservoirs << QString(" %1\t%2\t;%3")
                      .arg(id, Number(j.Level + Settings.SourceHead), OneLine(j.Source.Name));
    coordinates
        << QString(" %1\t%2\t%3").arg(id, Number(j.Source.At.X, 3), Number(j.Source.At.Y, 3));
    pipes << QString(" S%1\t%2\t%3\t%4\t%5\t%6\t0\tOpen")
                 .arg(j.Source.Code)
                 .arg(id, nodeId(j.Node), Number(j.Length), Number(1000, 0),
                      Number(Settings.DefaultRoughness.New, 1));
    ++Model.Reservoirs;
  }
  const int year = Options.Date.year();
  for (int p = 0; p < int(Graph->Pipes().size()); ++p) {
    if (!Kept[size_t(p)]) continue;
    const auto& pipe = PipeAt(p);
    const QString id = QString::number(pipe.Code);
    const auto& attributes = Attributes[size_t(p)];
    const double c = Settings.RoughnessOf(attributes[kMaterial], attributes[kYear].toInt(), year);
    const bool closed = Closed.count(p) > 0;
    pipes << QString(" %1\t%2\t%3\t%4\t%5\t%6\t0\t%7")
                 .arg(id, nodeId(Graph->NodeOfCode(pipe.Hub[0])),
                      nodeId(Graph->NodeOfCode(pipe.Hub[1])), Number(Lengths[size_t(p)]),
                      Number(attributes[kDiameter].toDouble(), 1), Number(c, 1),
                      closed ? "Closed" : "Open");
    const auto& path = Paths[size_t(p)];
    for (size_t k = 1; k + 1 < path.size(); ++k)
      vertices << QString(" %1\t%2\t%3").arg(id, Number(path[k].X, 3), Number(path[k].Y, 3));
    ++Model.Pipes;
    Model.ClosedPipes += closed;
  }
  if (Model.Pipes == 0)
    throw std::runtime_error(
        Utf8("Після перевірки не лишилося жодної труби для моделі").toStdString());
  QString text;
  const auto section = [&](const char* name, const QString& header, const QStringList& rows) {
    text += QString("[%1]\n").arg(name);
    if (!header.isEmpty()) text += header + "\n";
    for (const QString& row : rows)
      text += row + "\n";
    text += "\n";
  };
  section("TITLE", QString(),
          {OneLine(Options.Title) + Utf8(" — водопровідна мережа"),
           Utf8("Експорт %1").arg(Options.Date.toString("dd.MM.yyyy"))});
  section("JUNCTIONS", ";ID\tElev\tDemand", junctions);
  section("RESERVOIRS", ";ID\tHead", reservoirs);
  section("PIPES", ";ID\tNode1\tNode2\tLength\tDiameter\tRoughness\tMinorLoss\tStatus", pipes);
  section("OPTIONS", QString(),
          {" Units\tLPS", " Headloss\tH-W", " Demand Model\tPDA", " Minimum Pressure\t0",
           QString(" Required Pressure\t%1").arg(Number(kRequiredPressure, 0))});
  section("COORDINATES", ";Node\tX-Coord\tY-Coord", coordinates);
  section("VERTICES", ";Link\tX-Coord\tY-Coord", vertices);
  text += "[END]\n";
  Model.Text = text.toUtf8();
}

} // namespace

TEpanetModel BuildEpanetModel(const QString& baseDir, const QString& mapsDir,
                              const TNetworkSettings& settings, const TEpanetOptions& options) {
  return TModelBuilder(baseDir, mapsDir, settings, options).Build();
}

} // namespace network
