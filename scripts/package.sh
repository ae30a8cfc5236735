#!/usr/bin/env bash
# Builds the Debian packages (voxa-monitor, voxa-station when the station is
# built, voxa-tools) in a build directory of their own and writes the .deb
# files to OUT_DIR (default: build-package/debs). Prints each file written.
#
#   scripts/package.sh [OUT_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
source_dir=$PWD
build_dir=${VOXA_PACKAGE_BUILD_DIR:-$source_dir/build-package}
out_dir=$(realpath -m "${1:-$build_dir/debs}")

export CMAKE_CXX_COMPILER_LAUNCHER=${CMAKE_CXX_COMPILER_LAUNCHER:-ccache}
export CCACHE_BASEDIR=${CCACHE_BASEDIR:-$(dirname "$source_dir")}
cmake -S "$source_dir" -B "$build_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DVOXA_BUILD_TESTS=OFF -DVOXA_BUILD_BENCH=OFF >/dev/null

# Only the programs the packages hold, and the gzipped pages.
targets=(voxa_dist_files)
mapfile -t -O 1 targets < "$build_dir/dist/packaged-programs.txt"
cmake --build "$build_dir" -j2 --target "${targets[@]}"

rm -rf "$out_dir"
mkdir -p "$out_dir"
(cd "$build_dir" && cpack -G DEB -B "$out_dir/.cpack" >/dev/null)
mv "$out_dir"/.cpack/*.deb "$out_dir"/
rm -rf "$out_dir/.cpack"
ls -1 "$out_dir"/*.deb
