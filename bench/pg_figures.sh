#!/usr/bin/env bash
# The demo city (scale 100 unless told) read from its files and from PostgreSQL side by side, each
# figure the median of three fresh processes: the first picture of the whole map and of a street
# at 1 : 787 (vandrel-render: loading the layers and drawing, 1920 x 1080), a pick at a water
# well in an open map (the first pick, which reads the layers' rows, and the next), and the
# topology of both networks (vandrel --calc-topology, loading included; "topology-all" with every
# pipe's nodes cleared first, so that every row is written). The "cold" rows keep
# nothing on this computer between runs (VANDREL_CACHE_DIR=off: for the files no record index,
# for the database no geometry or rows read before). Run by hand.
#
#   bench/pg_figures.sh [BUILD_DIR] [SCALE]      (default build/bench 100)
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${1:-build/bench}
SCALE=${2:-100}
PG_PORT=5435
source bench/pg_server.sh
export QT_QPA_PLATFORM=offscreen LANG=uk_UA.UTF-8 LC_ALL=uk_UA.UTF-8 VANDREL_REPORT_TIMINGS=1
"$BUILD/tools/demo/vandrel-demo" "$WORK/city" --scale "$SCALE" >/dev/null
began=$(date +%s%3N)
"$BUILD/tools/atlas/vandrel-atlas" to-postgres "$WORK/city" "$URI" >/dev/null
echo "import of the scale-$SCALE city: $(($(date +%s%3N) - began)) ms"

# A well in the middle of the city, and the street view about it (400 m wide: 1 : 787).
read -r X Y < <("$BUILD/tools/tables/vandrel-tables" sql "$WORK/city/MAPS" \
  "SELECT X, Y FROM WaterWells ORDER BY OBJECTCODE" --csv |
  LC_ALL=C awk -F, 'NR > 1 { x[NR] = $1; y[NR] = $2 } END { n = int(NR / 2) + 1; print x[n], y[n] }')
STREET="$(LC_ALL=C awk -v x="$X" -v y="$Y" 'BEGIN { printf "%.2f,%.2f,%.2f,%.2f", x - 200, y - 112.5, x + 200, y + 112.5 }')"

median() { printf '%s\n' "$@" | sort -n | sed -n 2p; }
# Milliseconds of a figure, three runs: `figure NAME PATTERN COMMAND...` reads the numbers the
# command's stderr gives for PATTERN (summed when there are several).
figure() {
  local name=$1 pattern=$2 runs=()
  shift 2
  for _ in 1 2 3; do
    runs+=("$("$@" 2>&1 >/dev/null | grep -oE "$pattern" | grep -oE '[0-9.]+' |
      LC_ALL=C awk '{ s += $1 } END { printf "%.0f", s }')")
  done
  printf '%s' "$(median "${runs[@]}")"
}
cp -r "$WORK/city" "$WORK/topology"
printf '%-34s %10s %10s %7s\n' "figure (ms, median of 3)" files database ratio
for what in whole street whole-cold street-cold pick first-pick topology topology-all; do
  row=()
  for root in "$WORK/city" "$URI"; do
    case $what in
    *-cold) export VANDREL_CACHE_DIR=off ;;
    *) unset VANDREL_CACHE_DIR ;;
    esac
    case ${what%-cold} in
    whole) row+=("$(figure "$what" '(load|draw) [0-9.]+' "$BUILD/tools/render/vandrel-render" \
      --data-root "$root" --size 1920x1080 --timings -o "$WORK/p.png")") ;;
    street) row+=("$(figure "$what" '(load|draw) [0-9.]+' "$BUILD/tools/render/vandrel-render" \
      --data-root "$root" --size 1920x1080 --extent "$STREET" --timings -o "$WORK/p.png")") ;;
    pick) row+=("$(figure "$what" ', pick [0-9]+' "$BUILD/src/app/vandrel" --data-root "$root" \
      --identify "$X,$Y" --scale 787)") ;;
    first-pick) row+=("$(figure "$what" 'first pick [0-9]+' "$BUILD/src/app/vandrel" \
      --data-root "$root" --identify "$X,$Y" --scale 787)") ;;
    topology | topology-all)
      [ "$root" = "$URI" ] || root="$WORK/topology"
      runs=()
      for _ in 1 2 3; do
        if [ "$what" = topology-all ]; then # every pipe's nodes to write
          maps="$root/MAPS"
          [ "$root" = "$URI" ] && maps="$URI#MAPS"
          for table in Water Kanaliz; do
            "$BUILD/tools/tables/vandrel-tables" sql "$maps" \
              "UPDATE $table SET HUB1CODE = NULL, HUB2CODE = NULL" >/dev/null
          done
        fi
        began=$(date +%s%3N)
        "$BUILD/src/app/vandrel" --data-root "$root" --calc-topology >/dev/null 2>&1
        runs+=($(($(date +%s%3N) - began)))
      done
      row+=("$(median "${runs[@]}")") ;;
    esac
  done
  printf '%-34s %10s %10s %7s\n' "$what" "${row[0]}" "${row[1]}" \
    "$(LC_ALL=C awk -v a="${row[0]}" -v b="${row[1]}" 'BEGIN { printf "%.2f", (a > 0 ? b / a : 0) }')"
done
