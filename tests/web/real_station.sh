#!/usr/bin/env bash
# The browser test's station, the real one: voxa-station on the simulated
# device (paced in real time, clock now), serving SeedLink and the page on a
# free port of 127.0.0.1. Called as the test's station program: WORK
# WEB_FOLDER; prints "PORT n" once it serves; ends, ending both, when its
# standard input closes or it is told to stop.
set -euo pipefail
work=$1
export VOXA_WEB_DIR=$2
sim=${VOXA_SIM:?}
station=${VOXA_STATION:?}
port=$(node -e 'const s = require("net").createServer(); s.listen(0, "127.0.0.1", () => { console.log(s.address().port); s.close(); });')
"$sim" --rate 100 --channels 3 --temperature >"$work/sim.out" 2>"$work/sim.err" &
sim_pid=$!
device=""
for _ in $(seq 100); do
  device=$(head -n 1 "$work/sim.out" 2>/dev/null || true)
  [ -n "$device" ] && break
  sleep 0.05
done
(cd "$work" && exec "$station" --data-dir "$work" --save-stream --mseed archive --no-ext-header \
  --seedlink "127.0.0.1:$port" "$device" 2>"$work/station.log") &
station_pid=$!
stop() { kill "$station_pid" 2>/dev/null || true; wait "$station_pid" 2>/dev/null || true; kill "$sim_pid" 2>/dev/null || true; }
trap 'stop; exit 0' TERM INT
for _ in $(seq 200); do
  grep -q "serving SeedLink" "$work/station.log" 2>/dev/null && break
  sleep 0.05
done
echo "PORT $port"
cat >/dev/null || true
stop
