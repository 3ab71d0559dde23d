#!/usr/bin/env bash
# A working session on a big city, measured by the process's peak memory (VmHWM): the viewer is
# opened under a virtual display, zoomed into ten places down to the street (the mouse wheel),
# used to pick objects there, and to search four streets and an address, each found and shown.
# Prints the peak after each step. Needs Xvfb and xdotool (scripts/setup.sh installs them); run
# by hand, never by CI.
#
#   bash bench/session.sh ATLAS_DIR [PROGRAM]
set -euo pipefail
cd "$(dirname "$0")/.."
ATLAS="$1"
PROGRAM="${2:-build/bench/src/app/vandrel}"
export DISPLAY=:97 LANG=uk_UA.UTF-8 LC_ALL=uk_UA.UTF-8
Xvfb "$DISPLAY" -screen 0 1920x1080x24 >/dev/null 2>&1 &
XVFB=$!
trap 'kill "$XVFB" 2>/dev/null || true' EXIT
sleep 1
"$PROGRAM" --data-root "$ATLAS" >/dev/null 2>&1 &
PID=$!
trap 'kill "$PID" "$XVFB" 2>/dev/null || true' EXIT
sleep 8
peak() { echo "$1: $(grep VmHWM /proc/$PID/status | awk '{print int($2 / 1024)}') MB"; }
peak "opened"
# The window's own coordinates (the program opens it at the screen's top left).
at() { xdotool mousemove "$1" "$2"; }
for place in "200 200" "500 300" "800 600" "300 650" "700 150" "450 450" "850 350" "150 500" \
  "600 700" "350 100"; do
  at $place
  for _ in $(seq 1 9); do xdotool click 4; sleep 0.15; done
  sleep 1
  for pick in "317 230" "422 118" "905 233"; do at $pick; xdotool click 1; sleep 0.3; done
  for _ in $(seq 1 9); do xdotool click 5; sleep 0.1; done
  sleep 0.5
done
peak "ten places zoomed into and picked in"
at 20 210 && xdotool click 1 && sleep 3 # the streets' search window
for name in "Шевч" "Франк" "Сков" "Дов"; do
  at 804 198 && xdotool click --repeat 3 1 && xdotool key ctrl+a BackSpace
  xdotool type --delay 50 "$name"
  at 803 227 && xdotool click 1 && sleep 1.5 # search
  at 760 411 && xdotool click 1 && sleep 0.3 # the first street found
  at 729 633 && xdotool click 1 && sleep 2   # shown on the map
done
peak "four streets searched and shown"
at 852 633 && xdotool click 1 && sleep 0.5 # closed
at 20 234 && xdotool click 1 && sleep 3    # the addresses' search window
at 760 411 && xdotool click 1 && sleep 0.3
at 729 633 && xdotool click 1 && sleep 2
peak "an address searched and shown"
