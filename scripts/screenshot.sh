#!/usr/bin/env bash
# Takes a picture of the viewer's main window once its map has painted, under a virtual display
# (or Qt's offscreen platform where Xvfb is missing); the program then closes the normal way.
#   scripts/screenshot.sh OUT.png [program arguments, e.g. --data-root DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
OUT=${1:-screenshot.png}
shift || true
PROGRAM=${VANDREL_PROGRAM:-build/release/src/app/vandrel}
SIZE=${SCREEN_SIZE:-1280x800x24}
case "$OUT" in /*) ;; *) OUT="$(pwd)/$OUT" ;; esac
if command -v xvfb-run >/dev/null; then
  xvfb-run -a -s "-screen 0 $SIZE" "$PROGRAM" --screenshot "$OUT" "$@"
else
  QT_QPA_PLATFORM=offscreen "$PROGRAM" --screenshot "$OUT" "$@"
fi
echo "saved $OUT"
