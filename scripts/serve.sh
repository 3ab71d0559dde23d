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

RUN=$(mktemp -d "${TMPDIR:-/tmp}/vandrel-serve.XXXXXX")
pids=()
stop() {
  trap - EXIT INT TERM
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
  for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done
  rm -rf "$RUN"
}
trap stop EXIT
trap 'exit 130' INT TERM

# QGIS Server: its FastCGI program on a socket, in the foreground of spawn-fcgi's child.
mkdir -p "$RUN/qgis" "$RUN/tmp"
env QGIS_PROJECT_FILE="geopackage:$ATLAS?projectName=$PROJECT" \
  QGIS_SERVER_LOG_STDERR=1 QGIS_SERVER_LOG_LEVEL="${QGIS_SERVER_LOG_LEVEL:-2}" QGIS_OPTIONS_PATH="$RUN/qgis" \
  QGIS_SERVER_IGNORE_BAD_LAYERS=1 QT_QPA_PLATFORM=offscreen HOME="$RUN/qgis" \
  spawn-fcgi -n -s "$RUN/qgis.sock" -- /usr/lib/cgi-bin/qgis_mapserv.fcgi 2>"$RUN/qgis.log" &
pids+=($!)

# nginx: the page's files and the map server, one process of this user.
cat >"$RUN/nginx.conf" <<EOF
daemon off;
master_process off;
worker_processes 1;
pid $RUN/nginx.pid;
error_log $RUN/nginx.log warn;
events { worker_connections 256; }
http {
  include /etc/nginx/mime.types;
  access_log off;
  client_body_temp_path $RUN/tmp/body;
  proxy_temp_path $RUN/tmp/proxy;
  fastcgi_temp_path $RUN/tmp/fastcgi;
  uwsgi_temp_path $RUN/tmp/uwsgi;
  scgi_temp_path $RUN/tmp/scgi;
  server {
    listen 127.0.0.1:$PORT;
    root $WEB;
    location /ows {
      include /etc/nginx/fastcgi_params;
      fastcgi_pass unix:$RUN/qgis.sock;
      fastcgi_read_timeout 300s;
    }
  }
}
EOF
nginx -e "$RUN/nginx.log" -p "$RUN" -c "$RUN/nginx.conf" &
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
