#!/usr/bin/env bash
# Installs what is missing, makes a release build, writes the demo atlas beside the program when
# it is missing, and opens it. Without a display it says so and tells how to start the viewer
# under a virtual one.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/setup.sh

BUILD=build/release
cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVANDREL_TESTS=OFF -DVANDREL_BENCH=OFF
cmake --build "$BUILD" -j "$(nproc)"

# In work mode 0 the atlas lives beside the program.
APPDIR="$BUILD/src/app"
mkdir -p "$APPDIR"
if [ ! -d "$APPDIR/BASE" ]; then
  echo "Writing the demo atlas into $APPDIR"
  "$BUILD/tools/demo/vandrel-demo" "$APPDIR"
fi

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "No display is available, so the viewer cannot open a window here."
  PICTURE="$(pwd)/$BUILD/demo-map.png"
  "$BUILD/tools/render/vandrel-render" --data-root "$APPDIR" --size 1600x1100 -o "$PICTURE" 2>/dev/null
  echo "The demo atlas's map is exported to $PICTURE"
  echo "Start the viewer under a virtual display with:"
  echo "  xvfb-run -a $APPDIR/vandrel"
  exit 0
fi
exec "$APPDIR/vandrel"
