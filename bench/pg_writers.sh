#!/usr/bin/env bash
# Eight processes writing at once through an atlas kept in PostgreSQL: each makes 250 changes
# (inserts, updates and deletes of its own rows, and now and then an increment of one row that
# all of them change) over a Paradox-born table (BASE/StreetDc.db) and a dBase-born one
# (MAPS/Water.dbf), each change one `vandrel-tables sql` statement. At the end every change that
# was reported written must be in the tables and every refusal must have said why; prints the
# counts and exits 1 when a change was lost.
#
#   bench/pg_writers.sh [BUILD_DIR] [WRITERS] [CHANGES]      (default build/bench 8 250)
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${1:-build/bench}
WRITERS=${2:-8}
CHANGES=${3:-250}
TABLES="$BUILD/tools/tables/vandrel-tables"
PG_PORT=5434
source bench/pg_server.sh
"$BUILD/tools/demo/vandrel-demo" "$WORK/city" >/dev/null
"$BUILD/tools/atlas/vandrel-atlas" to-postgres "$WORK/city" "$URI" >/dev/null
YEAR0=$(sql 'SELECT "YEAR" FROM atlas."MAPS/Water.dbf" WHERE "OBJECTCODE" = 1')

writer() {
  local w=$1 log="$WORK/writer-$1.log"
  : >"$log"
  for ((i = 1; i <= CHANGES; i++)); do
    local code=$((w * 100000 + i)) statement place what
    if ((i % 10 == 0)); then # the row every writer changes
      place="$URI#MAPS"; what="inc"
      statement='UPDATE "Water.dbf" SET YEAR = YEAR + 1 WHERE OBJECTCODE = 1'
    else
      case $((i % 5)) in
      0 | 1 | 2) what="ins $code" ;;
      3) what="upd $((code - 1))" ;;   # the row inserted two changes ago
      4) what="del $((code - 2))" ;;   # the row inserted two changes before that
      esac
      if ((i % 2)); then
        place="$URI#MAPS"
        case $what in
        ins*) statement="INSERT INTO \"Water.dbf\" (OBJECTCODE, DIAMETER, MATERIAL) VALUES ($code, 100, 'w$w')" ;;
        upd*) statement="UPDATE \"Water.dbf\" SET DIAMETER = 777 WHERE OBJECTCODE = ${what#upd }" ;;
        del*) statement="DELETE FROM \"Water.dbf\" WHERE OBJECTCODE = ${what#del }" ;;
        esac
      else
        place="$URI#BASE"
        case $what in
        ins*) statement="INSERT INTO \"StreetDc.db\" (STREETCODE, STREET, TYPE) VALUES ($code, 'w$w', 'вул.')" ;;
        upd*) statement="UPDATE \"StreetDc.db\" SET STREET = 'змінено' WHERE STREETCODE = ${what#upd }" ;;
        del*) statement="DELETE FROM \"StreetDc.db\" WHERE STREETCODE = ${what#del }" ;;
        esac
        what="p$what"
      fi
    fi
    if out=$("$TABLES" sql "$place" "$statement" 2>&1); then
      echo "ok $what" >>"$log"
    elif grep -q "інший користувач" <<<"$out"; then
      echo "refused $what" >>"$log"
    else
      echo "failed $what: $out" >>"$log"
    fi
  done
}

START=$(date +%s.%N)
for ((w = 1; w <= WRITERS; w++)); do writer "$w" & done
wait
SECONDS_TAKEN=$(echo "$(date +%s.%N) - $START" | bc)

cat "$WORK"/writer-*.log >"$WORK/all.log"
written=$(grep -c '^ok' "$WORK/all.log" || true)
refused=$(grep -c '^refused' "$WORK/all.log" || true)
failed=$(grep -c '^failed' "$WORK/all.log" || true)
lost=0
check() { # what the table must show for one change reported written
  local table=$1 key=$2 code=$3 expect=$4
  local got
  got=$(sql "SELECT count(*) FROM atlas.\"$table\" WHERE \"$key\" = $code")
  [ "$got" = "$expect" ] || { echo "lost: $table $key=$code holds $got rows, $expect expected"; lost=$((lost + 1)); }
}
while read -r status what code; do
  [ "$status" = ok ] || continue
  case $what in
  ins) grep -q "^ok del $code\$" "$WORK/all.log" || check MAPS/Water.dbf OBJECTCODE "$code" 1 ;;
  del) check MAPS/Water.dbf OBJECTCODE "$code" 0 ;;
  pins) grep -q "^ok pdel $code\$" "$WORK/all.log" || check BASE/StreetDc.db STREETCODE "$code" 1 ;;
  pdel) check BASE/StreetDc.db STREETCODE "$code" 0 ;;
  esac
done <"$WORK/all.log"
increments=$(grep -c '^ok inc' "$WORK/all.log" || true)
YEAR1=$(sql 'SELECT "YEAR" FROM atlas."MAPS/Water.dbf" WHERE "OBJECTCODE" = 1')
if [ "$YEAR1" -ne $((YEAR0 + increments)) ]; then
  echo "lost: the shared row's YEAR is $YEAR1, $((YEAR0 + increments)) expected"
  lost=$((lost + 1))
fi
echo "$WRITERS writers × $CHANGES changes in ${SECONDS_TAKEN} s: $written written, $refused refused (each said why), $failed failed otherwise, $lost lost; the shared row took $increments increments"
grep '^failed' "$WORK/all.log" | head -3 || true # none is the good case
[ "$lost" -eq 0 ] && [ "$failed" -eq 0 ]
