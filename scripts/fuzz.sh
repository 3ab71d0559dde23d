#!/usr/bin/env bash
# Builds one libFuzzer program with clang, AddressSanitizer and UndefinedBehaviorSanitizer, and
# runs it for SECONDS on a corpus seeded from the demo atlas and ../shared/corpus. An input that
# crashes, hangs, leaks or overruns a buffer is left in build/fuzz/finds/TARGET/; once mended,
# write the smallest such input as code in tests/fuzz/RegressionTest.cpp (or keep the file in
# fuzz/regressions/TARGET/), where scripts/test.sh replays it. Not part of CI.
#
#   bash scripts/fuzz.sh TARGET SECONDS
#   TARGET: Geometry Paradox Dbase Measurements Settings Sql ParamLines LabelFile Segments
#           ObjectIndex Topology
set -euo pipefail
cd "$(dirname "$0")/.."
if [ $# -ne 2 ]; then
  sed -n '2,11p' "$0" | sed 's/^# \{0,1\}//'
  exit 2
fi
TARGET="$1"
LIMIT="$2"
LOWER="$(echo "$TARGET" | tr '[:upper:]' '[:lower:]')"

bash scripts/setup.sh
if ! command -v clang++ >/dev/null || ! ls /usr/lib/llvm-*/lib/clang/*/lib/linux/libclang_rt.fuzzer-x86_64.a >/dev/null 2>&1; then
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends clang libclang-rt-14-dev >/dev/null
fi

BUILD=build/fuzz
CC=clang CXX=clang++ cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVANDREL_FUZZ=ON -DVANDREL_TESTS=OFF -DVANDREL_BENCH=OFF >/dev/null
cmake --build "$BUILD" -j "$(nproc)" --target "fuzz_$LOWER" vandrel-demo

ATLAS="$BUILD/atlas"
[ -d "$ATLAS/BASE" ] || QT_QPA_PLATFORM=offscreen "$BUILD/tools/demo/vandrel-demo" "$ATLAS" >/dev/null
SEEDS="$BUILD/seeds/$TARGET"
CORPUS="$BUILD/corpus/$TARGET"
FINDS="$BUILD/finds/$TARGET"
mkdir -p "$CORPUS" "$FINDS"
python3 fuzz/seeds.py "$TARGET" "$SEEDS" "$ATLAS" "$(cd .. && pwd)/shared/corpus"

export QT_QPA_PLATFORM=offscreen
export ASAN_OPTIONS="detect_leaks=1:allocator_may_return_null=1"
export LSAN_OPTIONS="suppressions=$(pwd)/tests/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
"$BUILD/fuzz/fuzz_$LOWER" "$CORPUS" "$SEEDS" -max_total_time="$LIMIT" -timeout=20 \
  -rss_limit_mb=4096 -max_len=4194304 -artifact_prefix="$FINDS/" -print_final_stats=1
