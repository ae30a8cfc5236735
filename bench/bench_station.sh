#!/usr/bin/env bash
# What the station costs: voxa-station on the simulated device's
# pseudo-terminal at 800 sps x 3 channels with every save on and the live
# archive (and SeedLink when the station serves it), against a bare `cat`
# of the same stream in the same run. Prints CPU seconds (user + system),
# the ratio to cat's, the station's peak RSS, and the bytes the simulated
# line had to drop because the reader did not take them.
#
# Usage: bench/bench_station.sh [BUILD_DIR] [SECONDS]   (build, 120)
# STATION_OPTIONS adds options to the station's command line.
set -euo pipefail
build=$(cd "${1:-build}" && pwd)
seconds=${2:-120}
sim="$build/tools/voxa-sim"
station="$build/station/voxa-station"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# Runs the reader given as arguments (with @PORT@ for the port) on a fresh
# simulated device; prints "cpu_seconds max_rss_kb dropped_bytes".
run() {
  "$sim" --rate 800 --channels 3 --temperature --seconds "$seconds" >"$work/sim.out" 2>"$work/sim.err" &
  local simpid=$! port=""
  for _ in $(seq 100); do
    port=$(head -n 1 "$work/sim.out" 2>/dev/null || true)
    [ -n "$port" ] && break
    sleep 0.05
  done
  local args=()
  for a in "$@"; do args+=("${a//@PORT@/$port}"); done
  (cd "$work" && /usr/bin/time -f "%U %S %M" -o "$work/time" "${args[@]}" >/dev/null 2>"$work/reader.err" || true)
  wait "$simpid" || true
  read -r user sys rss < <(tail -n 1 "$work/time")
  local dropped
  dropped=$(sed -n 's/.* \([0-9]*\) bytes dropped.*/\1/p' "$work/sim.err")
  echo "$(echo "$user + $sys" | bc -l) $rss ${dropped:-?}"
}

read -r cat_cpu cat_rss cat_dropped < <(run cat @PORT@)
read -r st_cpu st_rss st_dropped < <(run "$station" --save-stream --save-errors --save-shift --no-ext-header \
                                          --mseed archive --no-reconnect ${STATION_OPTIONS:-} @PORT@)
printf 'stream: %d s of 800 sps x 3 channels\n' "$seconds"
printf 'cat:          %6.2f s CPU, %6d kB peak RSS, %s bytes dropped\n' "$cat_cpu" "$cat_rss" "$cat_dropped"
printf 'voxa-station: %6.2f s CPU, %6d kB peak RSS, %s bytes dropped\n' "$st_cpu" "$st_rss" "$st_dropped"
printf 'station / cat: %.2f\n' "$(echo "$st_cpu / $cat_cpu" | bc -l)"
