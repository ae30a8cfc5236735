#!/usr/bin/env bash
# The packages as a user gets them: built by scripts/package.sh, checked by
# lintian, installed with apt-get, the programs run, the installed units
# verified, then removed and purged, with the station's data directory left
# in place. It installs packages on this machine, so it runs only when
# VOXA_INSTALL_TEST=1; a machine it found without the voxa user and
# /var/lib/voxa is left without them again.
#
#   VOXA_INSTALL_TEST=1 tests/packaging/install_test.sh [DEB_DIR]
# With DEB_DIR the packages there are tested instead of building them.
set -euo pipefail

if [ "${VOXA_INSTALL_TEST:-}" != 1 ]; then
  echo "SKIP: set VOXA_INSTALL_TEST=1 to build, install and remove the packages on this machine"
  exit 77
fi
if [ "$(id -u)" -ne 0 ]; then
  echo "FAIL: installing packages needs root"
  exit 1
fi
source_dir=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
packages=()
had_user=no; getent passwd voxa >/dev/null && had_user=yes
had_data=no; [ -e /var/lib/voxa ] && had_data=yes

step() { echo "== $*"; }
fail() { echo "FAIL: $*"; exit 1; }
# The packages of ours still on the machine.
installed() {
  local p
  for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}\n' "$p" 2>/dev/null | grep -qv "not-installed" && echo "$p"
  done
  return 0
}
cleanup() {
  local left
  mapfile -t left < <(installed)
  if [ ${#left[@]} -gt 0 ]; then
    DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq "${left[@]}" >/dev/null 2>&1 || true
  fi
  [ "$had_data" = no ] && rm -rf /var/lib/voxa
  [ "$had_user" = no ] && getent passwd voxa >/dev/null && userdel voxa 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

debs=${1:-}
if [ -z "$debs" ]; then
  step "building the packages"
  VOXA_PACKAGE_BUILD_DIR=${VOXA_PACKAGE_BUILD_DIR:-$source_dir/build-package} "$source_dir/scripts/package.sh" "$work/debs"
  debs=$work/debs
fi
shopt -s nullglob
files=("$debs"/*.deb)
[ ${#files[@]} -gt 0 ] || fail "no .deb files in $debs"
for f in "${files[@]}"; do packages+=("$(dpkg-deb -f "$f" Package)"); done
echo "packages: ${packages[*]}"

step "lintian"
for f in "${files[@]}"; do
  lintian --fail-on error --tag-display-limit 0 "$f" || fail "lintian reports errors in $(basename "$f")"
done

step "installing"
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq "${files[@]}" >/dev/null || fail "apt-get install"

step "running the programs"
voxa-convert --version
voxa-sim --help >/dev/null || fail "voxa-sim --help"
man -w voxa-convert >/dev/null || fail "the voxa-convert man page is not installed"

station=no
[[ " ${packages[*]} " == *" voxa-station "* ]] && station=yes
if [ "$station" = yes ]; then
  voxa-station --version
  voxa-station --check /etc/voxa/station.conf || fail "the installed station file does not pass --check"
  getent passwd voxa >/dev/null || fail "no voxa user"
  id -nG voxa | tr ' ' '\n' | grep -qx dialout || fail "the voxa user is not in the dialout group"
  [ "$(stat -c %U:%G /var/lib/voxa)" = voxa:voxa ] || fail "/var/lib/voxa is not the voxa user's"
  dpkg-query -W -f='${Conffiles}\n' voxa-station | grep -q /etc/voxa/station.conf \
    || fail "/etc/voxa/station.conf is not a conffile"

  step "verifying the installed units"
  for unit in voxa-station.service voxa-station@install-test.service; do
    out=$(systemd-analyze verify "$unit" 2>&1) || fail "systemd-analyze verify $unit: $out"
    [ -z "$out" ] || fail "systemd-analyze verify $unit: $out"
    echo "$unit: verified"
  done

  step "removing and purging; the data directory stays"
  echo "kept" > /var/lib/voxa/install-test-marker
  DEBIAN_FRONTEND=noninteractive apt-get remove -y -qq voxa-station >/dev/null || fail "apt-get remove"
  [ -f /var/lib/voxa/install-test-marker ] || fail "remove took /var/lib/voxa"
  [ -f /etc/voxa/station.conf ] || fail "remove took the station file (a conffile stays until purge)"
  DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq voxa-station >/dev/null || fail "apt-get purge"
  [ -f /var/lib/voxa/install-test-marker ] || fail "purge took /var/lib/voxa"
  [ ! -e /etc/voxa/station.conf ] || fail "purge left the station file"
  rm -f /var/lib/voxa/install-test-marker
fi

step "removing the packages"
mapfile -t left < <(installed)
if [ ${#left[@]} -gt 0 ]; then
  DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq "${left[@]}" >/dev/null || fail "apt-get purge"
fi
mapfile -t left < <(installed)
[ ${#left[@]} -eq 0 ] || fail "still installed: ${left[*]}"
echo "PASS"
