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
  # The noise PSD: FFTW does the Welch segments' real FFTs.
  libfftw3-dev
  # The fuzz targets (scripts/fuzz.sh): clang and its libFuzzer and sanitizer runtimes.
  clang-14 libclang-rt-14-dev
  # Packaging: lintian checks the .deb files; systemd-analyze verifies the
  # station's units; xmllint checks the StationXML is well formed.
  lintian systemd libxml2-utils
  # The SeedLink server: Qt's WebSocket framing for browser clients on the SeedLink port.
  qt6-websockets-dev
  # The station: toml++ reads its station file, libsystemd tells systemd how it is.
  libtomlplusplus-dev libsystemd-dev
  # The station page's browser tests drive Debian's chromium (puppeteer-core downloads none).
  chromium
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
# The page's bundle, the StationXML read-back and the browser and WebSocket
# tests run under node. A node that is already there (some machines bring
# one with its own npm, which Debian's npm package would conflict with) is
# used as it is.
command -v node >/dev/null || missing+=(nodejs)
command -v npm >/dev/null || missing+=(npm)
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  as_root=()
  [ "$(id -u)" -eq 0 ] || as_root=(sudo)
  export DEBIAN_FRONTEND=noninteractive
  "${as_root[@]}" apt-get update -qq
  "${as_root[@]}" apt-get install -y -qq "${missing[@]}" >/dev/null
fi

# The web folder's npm packages, exactly as web/package-lock.json pins them,
# from the npm registry; installed again when the lock is newer than what is
# installed. Nothing is fetched when the programs or tests run.
cd "$(dirname "$0")/.."
if [ ! -d web/node_modules ] || [ web/package-lock.json -nt web/node_modules ]; then
  npm ci --prefix web --no-audit --no-fund
  touch web/node_modules
fi
