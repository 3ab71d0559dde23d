#!/usr/bin/env bash
# Serves an exported atlas (vandrel-export -o ATLAS.gpkg) to browsers on this machine, for trying
# it: http://127.0.0.1:PORT/ is the map page, /ows the map server (QGIS Server's FastCGI program
# under nginx, both as this user, everything in a temporary folder). Installs what it needs on
# first use (the server's Debian packages, the page's bundle from npm). Stops both servers and
# removes the folder on Ctrl+C or when it is stopped.
#
#   scripts/serve.sh ATLAS.gpkg [PORT]      (PORT 8080 unless given)
#
# QGIS_SERVER_LOG_LEVEL=0 logs each request with its time in qgis.log of the temporary folder
# (named at the start).
# For a utility's server use packaging/server/ instead (README: "The atlas in a browser").
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
if [ $# -lt 1 ] || [ $# -gt 2 ] || [ ! -f "$1" ]; then
  echo "usage: scripts/serve.sh ATLAS.gpkg [PORT]" >&2
  exit 2
fi
ATLAS=$(realpath "$1")
PORT=${2:-8080}
# The project inside the GeoPackage is named as the file (vandrel-export names it so).
PROJECT=$(basename "$ATLAS" .gpkg)

bash "$ROOT/scripts/setup.sh" --serve
WEB="$ROOT/build/web"
bash "$ROOT/scripts/build-web.sh" "$WEB"

# Folders of earlier runs killed without their clean-up (SIGKILL) go first.
for old in "${TMPDIR:-/tmp}"/vandrel-serve.*; do
  [ -O "$old" ] && [ -f "$old/serve.pid" ] || continue
  if ! kill -0 "$(cat "$old/serve.pid")" 2>/dev/null; then
    chmod -R u+w "$old" 2>/dev/null || true
    rm -rf "$old"
  fi
done
RUN=$(mktemp -d "${TMPDIR:-/tmp}/vandrel-serve.XXXXXX")
echo $$ >"$RUN/serve.pid"
chmod 0711 "$RUN"
pids=()
stop() {
  trap - EXIT INT TERM
  touch "$RUN/stopping"
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  chmod -R u+w "$RUN" 2>/dev/null || true # the atlas's copy was made read-only
  rm -rf "$RUN"
}
trap stop EXIT
trap 'exit 130' INT TERM

# The map server reads a copy of the atlas it cannot write (neither the file nor its folder is
# writable to it: as root the server runs as nobody, who owns none of it), keeps its temporary
# files in RUN, has at most VANDREL_SERVE_MEMORY_MB of memory (4096 unless set: a request that
# wants more ends its process, which starts again) and, where the machine gives it a network
# namespace of its own, no network (nothing a visitor names is fetched).
mkdir -p "$RUN/atlas" "$RUN/qgis/tmp" "$RUN/tmp"
SERVED="$RUN/atlas/$(basename "$ATLAS")"
cp --reflink=auto "$ATLAS" "$SERVED"
chmod 0444 "$SERVED"
chmod 0555 "$RUN/atlas"
AS_USER=""
NO_NETWORK=""
if [ "$(id -u)" = 0 ]; then
  chown -R nobody "$RUN/qgis"
  AS_USER="-u nobody -g nogroup -M 0600"
  NO_NETWORK="unshare -n"
elif unshare -n --map-current-user true 2>/dev/null; then
  NO_NETWORK="unshare -n --map-current-user"
fi
export RUN AS_USER NO_NETWORK SERVED PROJECT
serve_qgis() {
  # Started again when it ends, until serve.sh stops; it dies with serve.sh however that ends.
  while [ ! -e "$RUN/stopping" ]; do
    # shellcheck disable=SC2086
    (ulimit -v $((${VANDREL_SERVE_MEMORY_MB:-4096} * 1024))
     exec $NO_NETWORK spawn-fcgi -n $AS_USER -s "$RUN/qgis.sock" -- \
       /usr/bin/setpriv --pdeathsig KILL -- /usr/bin/env \
       QGIS_PROJECT_FILE="geopackage:$SERVED?projectName=$PROJECT" \
       QGIS_SERVER_LOG_STDERR=1 QGIS_SERVER_LOG_LEVEL="${QGIS_SERVER_LOG_LEVEL:-2}" \
       QGIS_OPTIONS_PATH="$RUN/qgis" HOME="$RUN/qgis" TMPDIR="$RUN/qgis/tmp" \
       QGIS_SERVER_IGNORE_BAD_LAYERS=1 QGIS_SERVER_WMS_MAX_WIDTH=4096 \
       QGIS_SERVER_WMS_MAX_HEIGHT=4096 QT_QPA_PLATFORM=offscreen \
       /usr/lib/cgi-bin/qgis_mapserv.fcgi) 2>>"$RUN/qgis.log" || true
    [ -e "$RUN/stopping" ] && break
    echo "serve: the map server ended; it starts again" >>"$RUN/qgis.log"
    rm -f "$RUN/qgis.sock"
    sleep 0.5
  done
}
export -f serve_qgis
setpriv --pdeathsig KILL -- bash -c serve_qgis &
pids+=($!)

# nginx: the page's files and the map server, one process of this user. Only GET and HEAD,
# and at /ows only the page's own requests (vandrel-ows-allow.conf, 403 for any other); more
# requests at once than the map server takes are refused with 503, not dropped.
cat >"$RUN/nginx.conf" <<EOF
daemon off;
master_process off;
worker_processes 1;
worker_rlimit_nofile 8192;
pid $RUN/nginx.pid;
error_log $RUN/nginx.log warn;
events { worker_connections 4096; }
http {
  include /etc/nginx/mime.types;
  include $ROOT/packaging/server/vandrel-ows-allow.conf;
  access_log ${VANDREL_SERVE_ACCESS_LOG:-off};
  client_body_temp_path $RUN/tmp/body;
  proxy_temp_path $RUN/tmp/proxy;
  fastcgi_temp_path $RUN/tmp/fastcgi;
  uwsgi_temp_path $RUN/tmp/uwsgi;
  scgi_temp_path $RUN/tmp/scgi;
  limit_conn_zone \$server_name zone=vandrel_ows:1m;
  server {
    listen 127.0.0.1:$PORT backlog=4096;
    root $WEB;
    location / {
      limit_except GET HEAD { deny all; }
    }
    location = /ows {
      limit_except GET HEAD { deny all; }
      if (\$vandrel_ows_allowed = 0) { return 403; }
      limit_conn vandrel_ows 64;
      limit_conn_status 503;
      include /etc/nginx/fastcgi_params;
      fastcgi_pass unix:$RUN/qgis.sock;
      fastcgi_read_timeout 60s;
    }
  }
}
EOF
setpriv --pdeathsig KILL -- nginx -e "$RUN/nginx.log" -p "$RUN" -c "$RUN/nginx.conf" &
pids+=($!)

for _ in $(seq 100); do
  if [ -S "$RUN/qgis.sock" ] && (exec 3<>"/dev/tcp/127.0.0.1/$PORT") 2>/dev/null; then break; fi
  for pid in "${pids[@]}"; do
    if ! kill -0 "$pid" 2>/dev/null; then
      echo "serve: a server did not start:" >&2
      cat "$RUN/nginx.log" "$RUN/qgis.log" >&2 2>/dev/null || true
      exit 1
    fi
  done
  sleep 0.1
done
echo "serve: the atlas $ATLAS at http://127.0.0.1:$PORT/ (the map server at /ows, its log in"
echo "serve: $RUN/qgis.log); Ctrl+C stops"
wait -n "${pids[@]}" || true
echo "serve: a server stopped:" >&2
tail -n 20 "$RUN/nginx.log" "$RUN/qgis.log" >&2 2>/dev/null || true
exit 1
