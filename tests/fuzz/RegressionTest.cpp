// Every fuzz target run on a few inputs of its own kind, on the inputs its findings were made
// from (written here), and on every input kept in fuzz/regressions/<target>/: under the
// sanitizers of the test build they must run through.

#include "FuzzTarget.h"

#include <QDir>
#include <QFile>
#include <cstring>
#include <gtest/gtest.h>

namespace {

void Feed(const std::string& name, const QByteArray& input) {
  fuzz::Targets().at(name)(reinterpret_cast<const uint8_t*>(input.constData()),
                           size_t(input.size()));
}

QByteArray Pieces(const std::vector<QByteArray>& pieces) {
  QByteArray out;
  for (size_t k = 0; k < pieces.size(); ++k) {
    if (k + 1 < pieces.size()) {
      const uint32_t n = uint32_t(pieces[k].size());
      const char length[4] = {char(n), char(n >> 8), char(n >> 16), char(n >> 24)};
      out.append(length, 4);
    }
    out.append(pieces[k]);
  }
  return out;
}

void PutU32LE(QByteArray& out, uint32_t v) {
  for (int k = 0; k < 4; ++k)
    out.append(char(v >> (8 * k)));
}
void PutU32BE(QByteArray& out, uint32_t v) {
  for (int k = 3; k >= 0; --k)
    out.append(char(v >> (8 * k)));
}
void PutDouble(QByteArray& out, double v) {
  uint64_t bits = 0;
  std::memcpy(&bits, &v, 8);
  for (int k = 0; k < 8; ++k)
    out.append(char(bits >> (8 * k)));
}

// A dBase table of one numeric field N(5, 0) whose values are not numbers or too large.
QByteArray NotANumberInAnIntegerField() {
  const std::vector<QByteArray> values = {" nan ", " 1e30", " -inf"};
  QByteArray t;
  t.append(char(3)).append(char(126)).append(char(12)).append(char(8));
  PutU32LE(t, uint32_t(values.size()));
  t.append(char(65)).append(char(0)).append(char(6)).append(char(0)); // header 65, record 6
  t.append(QByteArray(20, '\0'));
  t.append(QByteArray("N").leftJustified(11, '\0')).append('N').append(QByteArray(4, '\0'));
  t.append(char(5)).append(char(0)).append(QByteArray(14, '\0'));
  t.append('\r');
  for (const QByteArray& v : values)
    t.append(' ').append(v);
  return t.append('\x1a');
}

// A point file of one point at (0, 0) whose style gives its symbol a size of ten million points.
QByteArray ASymbolOfTenMillionPoints() {
  QByteArray content;
  PutU32LE(content, 1);
  PutDouble(content, 0);
  PutDouble(content, 0);
  QByteArray geometry;
  PutU32BE(geometry, 9994);
  geometry.append(QByteArray(20, '\0'));
  PutU32BE(geometry, uint32_t((100 + 8 + content.size()) / 2));
  PutU32LE(geometry, 1000);
  PutU32LE(geometry, 1);
  geometry.append(QByteArray(64, '\0')); // the box and the Z and M ranges
  PutU32BE(geometry, 1);
  PutU32BE(geometry, uint32_t(content.size() / 2));
  geometry.append(content);
  const QByteArray font = "DejaVu Sans";
  QByteArray style("A");
  PutU32LE(style, 255);
  PutDouble(style, 1e7);
  style.append(char(font.size())).append(font.leftJustified(31, '\0'));
  return Pieces({style, geometry});
}

} // namespace

// Found by fuzzing: a number field reading "nan" was cast to an integer; a style's symbol size
// asked the canvas for a picture of gigabytes.
TEST(FuzzTargets, TheInputsOfEarlierFindingsRunThrough) {
  const QByteArray dbase = NotANumberInAnIntegerField();
  ASSERT_EQ(dbase.size(), 65 + 3 * 6 + 1);
  Feed("Dbase", dbase);
  Feed("Geometry", ASymbolOfTenMillionPoints());
}

TEST(FuzzTargets, EveryTargetRunsThroughSmallAndOddInputs) {
  const std::vector<QByteArray> inputs = {
      QByteArray(), QByteArray(1, '\0'), QByteArray(300, '\xff'), QByteArray(1000, '\0'),
      // A piece length beyond the input.
      QByteArray("\xff\xff\xff\x7f", 4) + QByteArray(50, 'x')};
  ASSERT_GE(fuzz::Targets().size(), 6u);
  for (const auto& [name, target] : fuzz::Targets())
    for (const QByteArray& input : inputs) {
      SCOPED_TRACE(name);
      Feed(name, input);
    }
  // A statement the SQL target runs for real, and a settings file with a work mode.
  Feed("Sql", "SELECT N, S FROM T WHERE N = ?");
  Feed("Sql", "UPDATE T SET S = 'z' WHERE N = 2");
  Feed("Settings", "[Options]\nWorkMode=1\nDataRoot=/nowhere\n");
  Feed("Geometry", Pieces({QByteArray(), QByteArray(100, '\0')}));
}

TEST(FuzzTargets, KeptInputsRunThrough) {
  const QDir kept(VANDREL_FUZZ_REGRESSIONS);
  int replayed = 0;
  for (const auto& [name, target] : fuzz::Targets()) {
    const QDir dir(kept.filePath(QString::fromStdString(name)));
    for (const QString& file : dir.entryList(QDir::Files)) {
      QFile f(dir.filePath(file));
      ASSERT_TRUE(f.open(QIODevice::ReadOnly)) << file.toStdString();
      SCOPED_TRACE(name + "/" + file.toStdString());
      Feed(name, f.readAll());
      ++replayed;
    }
  }
  RecordProperty("replayed", replayed);
}
