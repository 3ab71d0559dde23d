#pragma once
// What the benchmarks share: the demo city's scale (100, or VANDREL_BENCH_SCALE for a short run
// under the sanitizers) and the fixtures kept between benchmarks, let go before the application
// object is, so that a benchmark ends cleanly.

#include <QByteArray>
#include <functional>
#include <memory>
#include <vector>

namespace bench {

inline int CityScale() {
  const int scale = qEnvironmentVariableIntValue("VANDREL_BENCH_SCALE");
  return scale > 0 ? scale : 100;
}

// The drawing threads a benchmark asks for, unless VANDREL_BENCH_THREADS says otherwise (1: to
// tell a fault of the parallel drawing from another).
inline int Threads(int asked) {
  const QByteArray forced = qgetenv("VANDREL_BENCH_THREADS");
  return forced.isEmpty() ? asked : forced.toInt();
}

inline std::vector<std::function<void()>>& Releases() {
  static std::vector<std::function<void()>> releases;
  return releases;
}

// One fixture of its kind, made at first use and kept until Release.
template <class T> T& Kept() {
  static std::unique_ptr<T> kept;
  if (!kept) {
    kept = std::make_unique<T>();
    Releases().push_back([] { kept.reset(); });
  }
  return *kept;
}

// Lets every kept fixture go, the last made first; main calls it before its application ends.
inline void Release() {
  for (auto r = Releases().rbegin(); r != Releases().rend(); ++r)
    (*r)();
  Releases().clear();
}

} // namespace bench
