#!/usr/bin/env bash
# Builds VOXA Monitor and runs it against the simulated device: voxa-sim
# opens a pseudo-terminal, and the monitor starts a run on it at once.
# Options after the script's name go to the monitor (for example
# --save-stream --save-errors --save-shift); SIM_OPTIONS goes to voxa-sim
# (for example SIM_OPTIONS="--rate 800 --channels 3 --temperature").
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target voxa-monitor voxa-sim

out=$(mktemp)
# shellcheck disable=SC2086
./build/tools/voxa-sim ${SIM_OPTIONS:-} >"$out" &
sim=$!
trap 'kill $sim 2>/dev/null; rm -f "$out"' EXIT
port=""
for _ in $(seq 100); do
  port=$(head -n 1 "$out")
  [ -n "$port" ] && break
  kill -0 $sim 2>/dev/null || { echo "voxa-sim did not start" >&2; exit 1; }
  sleep 0.1
done
[ -n "$port" ] || { echo "voxa-sim did not report its port" >&2; exit 1; }
echo "Simulated VOXA on $port"
./build/app/voxa-monitor "$@" "$port"
