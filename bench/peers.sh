#!/usr/bin/env bash
# Times vandrel-render against MapServer's map2img and gdal_rasterize on the same shapefile-layout
# files, the same extents and the same picture size, whole process, median of 5 runs, and prints
# the ratios. Two cities: the scale-100 demo atlas, and one of the script's own making (pipes,
# buildings and nodes written as plain shapefiles). Run by hand (it installs mapserver-bin and
# gdal-bin when they are missing); never part of CI or of scripts/setup.sh.
#
#   bash bench/peers.sh [WORK_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
WORK="${1:-/tmp/vandrel-peers}"
BUILD="${BUILD:-build/bench}"

if ! command -v map2img >/dev/null || ! command -v gdal_rasterize >/dev/null; then
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends \
    mapserver-bin gdal-bin >/dev/null
fi

if [ ! -x "$BUILD/tools/render/vandrel-render" ]; then
  bash scripts/setup.sh
  cmake -S . -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVANDREL_TESTS=OFF -DVANDREL_BENCH=ON
fi
cmake --build "$BUILD" -j "$(nproc)" --target vandrel-render vandrel-demo vandrel-tables

export QT_QPA_PLATFORM=offscreen
python3 bench/peers.py --work "$WORK" --render "$BUILD/tools/render/vandrel-render" \
  --demo "$BUILD/tools/demo/vandrel-demo" --tables "$BUILD/tools/tables/vandrel-tables"
