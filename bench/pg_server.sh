# Sourced by the PostgreSQL benchmarks: a PostgreSQL 15 server of its own in a temporary folder
# ($WORK), on a socket there (port $PG_PORT, no TCP), with one database "atlas" ($URI, and `sql`
# to run a statement in it); stopped and removed when the script ends. As root the server runs
# as the postgres user, which initdb and postgres require.
PG=/usr/lib/postgresql/15/bin
WORK=$(mktemp -d)
as_owner() { if [ "$(id -u)" -eq 0 ]; then runuser -u postgres -- "$@"; else "$@"; fi; }
cleanup() { as_owner "$PG/pg_ctl" -D "$WORK/data" -w -m fast stop >/dev/null 2>&1 || true; rm -rf "$WORK"; }
trap cleanup EXIT
mkdir -p "$WORK/socket"
[ "$(id -u)" -eq 0 ] && chown -R postgres "$WORK"
as_owner "$PG/initdb" -D "$WORK/data" -A trust -U postgres -E UTF8 --locale=C --no-sync >/dev/null
as_owner "$PG/pg_ctl" -D "$WORK/data" -w -l "$WORK/data/log" \
  -o "-k $WORK/socket -p $PG_PORT -c listen_addresses=''" start >/dev/null
"$PG/createdb" -h "$WORK/socket" -p "$PG_PORT" -U postgres atlas
URI="postgresql:///atlas?host=$WORK/socket&port=$PG_PORT&user=postgres"
sql() { psql -h "$WORK/socket" -p "$PG_PORT" -U postgres -d atlas -At -c "$1"; }
