#!/usr/bin/env bash
# Installs what is missing, makes a release build, writes the demo atlas and opens it.
# Without a display it says so and tells how to start the program under one.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh

BUILD=build/release
cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVANDREL_TESTS=OFF -DVANDREL_BENCH=OFF
cmake --build "$BUILD" -j "$(nproc)"

DEMO=demo
if [ -x "$BUILD/tools/demo/vandrel-demo" ]; then
  "$BUILD/tools/demo/vandrel-demo" "$DEMO"
fi

if [ ! -x "$BUILD/src/app/vandrel" ]; then
  echo "The map viewer is not built yet; the table tool is:"
  echo "  $BUILD/tools/tables/vandrel-tables list DIR"
  exit 0
fi

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display is available, so the viewer cannot open a window here."
  echo "Start it under a virtual display with:"
  echo "  xvfb-run -a $BUILD/src/app/vandrel --data-root $DEMO"
  exit 0
fi
exec "$BUILD/src/app/vandrel" --data-root "$DEMO"
