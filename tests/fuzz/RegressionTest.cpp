// Every fuzz target run on a few inputs of its own kind and on every input kept in
// fuzz/regressions/<target>/ (each one made a target crash, hang or overrun a buffer once): under
// the sanitizers of the test build they must now run through.

#include "FuzzTarget.h"

#include <QDir>
#include <QFile>
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

} // namespace

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
