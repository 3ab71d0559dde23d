#!/usr/bin/env bash
# The demo generator's cities at scales 10, 100 and 300, side by side, so that growth with the
# city shows: the whole map and a view of one street (400 m across, 1 : 787 at 1920 × 1080), each
# a whole run of vandrel-render (median of 3), with the process's peak memory. The view is timed
# twice: the first run on this machine (nothing kept yet of the atlas's files) and the runs after
# it (record indexes, row lists and points columns kept in the cache of derived files). The
# cities are written on the first run into WORK_DIR (about 800 MB). Run by hand; never by CI.
#
#   bash bench/metropolis.sh [WORK_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
WORK="${1:-/tmp/vandrel-metropolis}"
BUILD="${BUILD:-build/bench}"
if [ ! -x "$BUILD/tools/render/vandrel-render" ]; then
  bash scripts/setup.sh
  cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVANDREL_TESTS=OFF -DVANDREL_BENCH=ON
fi
cmake --build "$BUILD" -j "$(nproc)" --target vandrel-render vandrel-demo >/dev/null
RENDER="$(pwd)/$BUILD/tools/render/vandrel-render"
export QT_QPA_PLATFORM=offscreen
mkdir -p "$WORK"

# The extent of a street's view at the city's centre: 400 m wide, the picture's aspect.
street_extent() {
  python3 - "$1" <<'PY'
import struct, sys
with open(sys.argv[1] + "/MAPS/Buildings.mds", "rb") as f:
    x0, y0, x1, y1 = struct.unpack("<4d", f.read(100)[36:68])
cx, cy, w = (x0 + x1) / 2, (y0 + y1) / 2, 400.0
h = w * 1080 / 1920
print(f"{cx - w / 2},{cy - h / 2},{cx + w / 2},{cy + h / 2}")
PY
}

# One run: "seconds peak-MB" of the whole process.
run() {
  /usr/bin/time -f "%e %M" "$RENDER" --data-root "$1" --size 1920x1080 "${@:2}" -o "$WORK/out.png" \
    2>&1 >/dev/null | tail -1 | awk '{printf "%.2f %d\n", $1, $2 / 1024}'
}

# The median of three runs.
median() {
  for _ in 1 2 3; do run "$@"; done | sort -n | sed -n 2p
}

printf "%-8s %10s | %12s %9s | %14s %9s | %12s %9s\n" city "on disk" "whole map s" "peak MB" \
  "street, 1st s" "peak MB" "street s" "peak MB"
for scale in 10 100 300; do
  city="$WORK/city$scale"
  [ -d "$city/BASE" ] || "$BUILD/tools/demo/vandrel-demo" "$city" --scale "$scale" >/dev/null
  extent="$(street_extent "$city")"
  export VANDREL_CACHE_DIR="$WORK/derived-cache-$scale"
  rm -rf "$VANDREL_CACHE_DIR"
  sleep 4 # a file changed within the last seconds is not kept
  read -r whole wholeMem <<<"$(median "$city")"
  read -r first firstMem <<<"$(run "$city" --extent "$extent")"
  read -r street streetMem <<<"$(median "$city" --extent "$extent")"
  printf "%-8s %10s | %12s %9s | %14s %9s | %12s %9s\n" "$scale" "$(du -shL "$city" | cut -f1)" \
    "$whole" "$wholeMem" "$first" "$firstMem" "$street" "$streetMem"
done
