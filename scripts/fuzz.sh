#!/usr/bin/env bash
# Builds the libFuzzer targets (fuzz/, clang with AddressSanitizer and
# UndefinedBehaviorSanitizer) and runs each for a bounded time, starting from
# its seeds in fuzz/corpus/<target> and what earlier runs in this build
# directory found (build-fuzz/corpus/<target>); the committed seeds are never
# changed. A crash or failed check stops with the input kept in build-fuzz/.
#
#   FUZZ_SECONDS=60 bash scripts/fuzz.sh                 # every target, 60 s each
#   FUZZ_SECONDS=1800 bash scripts/fuzz.sh fuzz_stream   # one target, longer
#
# Each target's CPU time is printed when it ends.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${FUZZ_SECONDS:-60}
jobs=$(nproc)
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(fuzz_stream fuzz_header fuzz_config fuzz_gps fuzz_time fuzz_name fuzz_seedlink)

cmake -S . -B build-fuzz -DCMAKE_CXX_COMPILER=clang++-14 -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVOXA_FUZZ=ON >/dev/null
cmake --build build-fuzz -j"$jobs" --target "${targets[@]}"

export ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1
for target in "${targets[@]}"; do
  work=build-fuzz/corpus/$target
  log=build-fuzz/$target.log
  mkdir -p "$work"
  echo "== $target: $seconds s"
  status=0
  TIMEFORMAT="== $target: %U s user + %S s system CPU"
  time {
    ./build-fuzz/fuzz/"$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=8192 \
      -print_final_stats=1 -dict=fuzz/dict/"$target".dict -artifact_prefix=build-fuzz/"$target"- \
      "$work" fuzz/corpus/"$target" >"$log" 2>&1 || status=$?
  }
  if [ "$status" -ne 0 ]; then
    grep -E "ERROR|SUMMARY|check failed|runtime error|Test unit written|^ +#[0-9]+ 0x.* voxa::" "$log" | head -n 30 || true
    echo "$target found a failing input (build-fuzz/$target-*, whole output in $log)"
    exit 1
  fi
  grep -E "^Done|stat::number_of_executed_units|stat::peak_rss_mb" "$log" || true
done
echo "Fuzz targets ran without a finding."
