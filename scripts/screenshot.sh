#!/usr/bin/env bash
# Starts the viewer under a virtual display, waits, saves a PNG of the screen and closes it.
#   scripts/screenshot.sh OUT.png [SECONDS] [-- program arguments]
set -euo pipefail
cd "$(dirname "$0")/.."
OUT=${1:-screenshot.png}
WAIT=${2:-3}
shift $(( $# > 2 ? 2 : $# ))
[ "${1:-}" = "--" ] && shift
PROGRAM=${VANDREL_PROGRAM:-build/release/src/app/vandrel}
SIZE=${SCREEN_SIZE:-1280x800x24}
xvfb-run -a -s "-screen 0 $SIZE" bash -c "
  \"$PROGRAM\" $* &
  pid=\$!
  sleep $WAIT
  import -window root \"$OUT\"
  kill \$pid 2>/dev/null || true
  wait \$pid 2>/dev/null || true
"
echo "saved $OUT"
