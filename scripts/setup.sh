#!/usr/bin/env bash
# Installs the Debian packages the project needs. Idempotent: packages already present are
# skipped, and apt is asked only when something is missing.
#
#   scripts/setup.sh            building the program and running it
#   scripts/setup.sh --tests    also the tests' real clients (QGIS's Python, PostgreSQL with
#                               PostGIS, poppler, pxlib, Chromium, xdotool, node and npm, ...)
#   scripts/setup.sh --serve    also the map server of scripts/serve.sh (QGIS Server, nginx,
#                               spawn-fcgi) and node with npm for its web page
set -euo pipefail

PACKAGES=(
  build-essential cmake ninja-build ccache pkg-config
  qt6-base-dev qt6-base-dev-tools libgl-dev qt6-translations-l10n
  libshp-dev libsqlite3-dev zlib1g-dev libxxhash-dev libgdal-dev libpq-dev
  fonts-dejavu-core fonts-symbola xvfb xauth locales
)
TEST_PACKAGES=(
  libgtest-dev libgmock-dev libbenchmark-dev
  pxlib-dev poppler-utils gdal-bin python3-qgis python3-numpy postgresql-15-postgis-3
  x11-utils imagemagick xdotool chromium
)
SERVE_PACKAGES=(qgis-server nginx-light spawn-fcgi)
NODE=0 # node and npm, from Debian unless the machine has them already (another packaging)
for arg in "$@"; do
  case $arg in
  --tests) PACKAGES+=("${TEST_PACKAGES[@]}" "${SERVE_PACKAGES[@]}"); NODE=1 ;;
  --serve) PACKAGES+=("${SERVE_PACKAGES[@]}"); NODE=1 ;;
  *) echo "usage: scripts/setup.sh [--tests] [--serve]" >&2; exit 2 ;;
  esac
done

if [ "$NODE" = 1 ] && ! command -v npm >/dev/null; then PACKAGES+=(nodejs npm); fi

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# The users' locales: the tests run under the Ukrainian one, and the Russian one is there to try.
for loc in uk_UA ru_RU; do
  if ! locale -a 2>/dev/null | grep -qix "$loc.utf8"; then
    echo "setup: generating $loc.UTF-8"
    $SUDO localedef -i "$loc" -c -f UTF-8 -A /usr/share/locale/locale.alias "$loc.UTF-8"
  fi
done
