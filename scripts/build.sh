#!/usr/bin/env bash
# scripts/build.sh ARCH BUILD_DIR [extra cmake args...]: configure, then build
# everything, or only BUILD_TARGET (and what it needs) when that is set.  The
# options are applied on every run, not only when the cache is made: a tree
# once configured without tests must not stay so when tests are asked for.
set -euo pipefail
arch="$1"; build="$2"; shift 2
here="$(cd "$(dirname "$0")/.." && pwd)"
source "$here/scripts/wine-env.sh" "$build" "$arch"
cmake -S "$here" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw.cmake" \
    -DVELMORA_ARCH="$arch" -DCMAKE_BUILD_TYPE=Release \
    -DWINE_PREFIX_DIR="$WINEPREFIX" -DWINE_LOADER="$WINE" "$@" >/dev/null
cmake --build "$build" -j"${JOBS:-2}" ${BUILD_TARGET:+--target "$BUILD_TARGET"}
