#!/usr/bin/env bash
# Installs what is missing, builds with warnings as errors and AddressSanitizer +
# UndefinedBehaviorSanitizer, and runs every test. Exits non-zero on any failure.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh --tests

# The EPANET engine the tests solve exported models with, from the npm registry.
if [ ! -d tests/epanet/node_modules/epanet-js ]; then
  npm ci --prefix tests/epanet --no-audit --no-fund --loglevel=error
fi
# The browser test's driver of Debian's Chromium, and the web page's bundle it serves.
if [ ! -d tests/web/node_modules/playwright-core ]; then
  npm ci --prefix tests/web --no-audit --no-fund --loglevel=error
fi
bash scripts/build-web.sh build/web

BUILD=build/test
cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DVANDREL_SANITIZE=ON -DVANDREL_BENCH=ON
cmake --build "$BUILD" -j "$(nproc)"

export QT_QPA_PLATFORM=offscreen
# The users' desktop: numbers in files must not follow it (a test checks that this is in force).
export LANG=uk_UA.UTF-8 LC_ALL=uk_UA.UTF-8
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1"
export LSAN_OPTIONS="suppressions=$(pwd)/tests/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
cd "$BUILD"
ctest --output-on-failure -j "$(nproc)"
