#!/usr/bin/env bash
# The window's start-up: from the program's start (as a click on its icon starts it) to the demo
# atlas's first finished picture, under a virtual display, median of 7 runs. The program says
# when its first picture was finished (VANDREL_REPORT_FIRST_PICTURE) and closes. Run by hand.
#
#   bash bench/startup.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD="${1:-build/bench}"
cmake --build "$BUILD" -j "$(nproc)" --target vandrel vandrel-demo >/dev/null
APPDIR="$BUILD/src/app"
[ -d "$APPDIR/BASE" ] || "$BUILD/tools/demo/vandrel-demo" "$APPDIR" >/dev/null
export DISPLAY=:96 LANG=uk_UA.UTF-8 LC_ALL=uk_UA.UTF-8 VANDREL_REPORT_FIRST_PICTURE=1
Xvfb "$DISPLAY" -screen 0 1920x1080x24 >/dev/null 2>&1 &
XVFB=$!
trap 'kill "$XVFB" 2>/dev/null || true' EXIT
sleep 1
"$APPDIR/vandrel" >/dev/null 2>&1 || true # the first run fills the file cache and the fonts'
times=()
for _ in 1 2 3 4 5 6 7; do
  began=$(date +%s%3N)
  drawn=$("$APPDIR/vandrel" 2>&1 >/dev/null | sed -n 's/^first picture at //p')
  times+=($((drawn - began)))
done
sorted=($(printf '%s\n' "${times[@]}" | sort -n))
echo "start to first picture of the demo atlas: ${sorted[3]} ms (runs: ${times[*]})"
