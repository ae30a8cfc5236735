#!/usr/bin/env bash
# Installs what building, running and testing VOXA Monitor needs on Debian,
# only the packages that are missing. Run as root (or with sudo available).
set -euo pipefail

packages=(
  build-essential cmake pkg-config
  qt6-base-dev libgl-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  xvfb xauth xdotool imagemagick fonts-dejavu-core
  # miniSEED: libmseed packs the archive's records (and the tests read them
  # back with it); mseed2sac is the tests' second, independent reader.
  libmseed-dev mseed2sac
  # The fuzz targets (scripts/fuzz.sh): clang and its libFuzzer and sanitizer runtimes.
  clang-14 libclang-rt-14-dev
  # The SeedLink server: Qt's WebSocket framing for browser clients on the SeedLink port.
  qt6-websockets-dev
  # The seisplotjs client test over WebSocket runs under node (its npm comes with it).
  nodejs
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  as_root=()
  [ "$(id -u)" -eq 0 ] || as_root=(sudo)
  export DEBIAN_FRONTEND=noninteractive
  "${as_root[@]}" apt-get update -qq
  "${as_root[@]}" apt-get install -y -qq "${missing[@]}" >/dev/null
fi

# The web folder's npm packages (seisplotjs and ws for the WebSocket client
# test), exactly as package-lock.json pins them; nothing loads at run time.
cd "$(dirname "$0")/.."
if [ ! -d web/node_modules ]; then
  npm ci --prefix web --no-audit --no-fund
fi
