#!/usr/bin/env bash
# Checks the station's systemd units with systemd-analyze verify. The verify
# wants the ExecStart program to exist, so the units are checked as copies
# whose ExecStart is the built station (or, before it is built, a program
# that exists, said so). Any message verify prints fails the check: it
# reports an unknown key or a bad value only as a warning.
#
# verify_units.sh UNIT_DIR STATION_PROGRAM
set -euo pipefail
unit_dir=$1
station=${2:-}

if ! command -v systemd-analyze >/dev/null; then
  echo "SKIP: systemd-analyze is not installed; the units were not verified"
  exit 77
fi
if [ -z "$station" ] || [ ! -x "$station" ]; then
  echo "note: voxa-station is not built; its units are verified with /bin/true in its place"
  station=/bin/true
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cp "$unit_dir/voxa-station.service" "$work/"
# A template is verified through an instance of it.
cp "$unit_dir/voxa-station@.service" "$work/voxa-station@verify.service"
sed -i "s|^ExecStart=/usr/bin/voxa-station |ExecStart=$station |" "$work"/*.service
if grep -q '^ExecStart=/usr/bin/voxa-station' "$work"/*.service; then
  echo "FAIL: an ExecStart does not start with /usr/bin/voxa-station and an option"
  exit 1
fi

status=0
for unit in "$work"/*.service; do
  # The man pages are checked by the install test, where they are installed.
  if messages=$(cd "$work" && systemd-analyze verify --man=no "./$(basename "$unit")" 2>&1) && [ -z "$messages" ]; then
    echo "$(basename "$unit"): verified"
  else
    echo "$messages"
    echo "$(basename "$unit"): FAILED"
    status=1
  fi
done

# The snippets: sysusers and tmpfiles read them without applying them.
if command -v systemd-sysusers >/dev/null; then
  if ! out=$(systemd-sysusers --dry-run "$unit_dir/voxa.sysusers" 2>&1) || grep -qi 'error\|fail' <<<"$out"; then
    echo "$out"; echo "voxa.sysusers: FAILED"; status=1
  else
    echo "voxa.sysusers: read"
  fi
fi
if command -v systemd-tmpfiles >/dev/null; then
  # --dry-run needs systemd 256: the lines are created in a scratch root
  # instead, as root's (the voxa user exists only once the package made it).
  sed 's/ voxa voxa / root root /' "$unit_dir/voxa.tmpfiles" > "$work/voxa.tmpfiles"
  if ! out=$(systemd-tmpfiles --root="$work/root" --create "$work/voxa.tmpfiles" 2>&1) || [ -n "$out" ] \
     || [ ! -d "$work/root/var/lib/voxa" ]; then
    echo "$out"; echo "voxa.tmpfiles: FAILED"; status=1
  else
    echo "voxa.tmpfiles: read"
  fi
fi
exit $status
