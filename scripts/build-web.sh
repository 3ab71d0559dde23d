#!/usr/bin/env bash
# Makes the atlas's web page in OUT (default build/web): the page, its style and one bundle of its
# script with OpenLayers, from the npm registry at the versions web/package-lock.json keeps. Made
# again only when a file of web/ is newer than the bundle. Nothing is fetched when the page runs.
#
#   scripts/build-web.sh [OUT]
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
OUT=${1:-$ROOT/build/web}
mkdir -p "$OUT"
if [ -f "$OUT/app.js" ] && [ -z "$(find "$ROOT/web" -path "$ROOT/web/node_modules" -prune -o \
  -type f -newer "$OUT/app.js" -print -quit)" ]; then
  exit 0
fi
if [ ! -d "$ROOT/web/node_modules/ol" ] || [ ! -d "$ROOT/web/node_modules/esbuild" ]; then
  npm ci --prefix "$ROOT/web" --no-audit --no-fund --loglevel=error
fi
"$ROOT/web/node_modules/.bin/esbuild" "$ROOT/web/src/main.js" --bundle --minify --format=iife \
  --log-level=warning --outfile="$OUT/app.js.part"
cp "$ROOT/web/index.html" "$ROOT/web/page.css" "$OUT/"
cp "$ROOT/web/node_modules/ol/ol.css" "$OUT/"
mv "$OUT/app.js.part" "$OUT/app.js"
