#!/usr/bin/env bash
# scripts/build.sh ARCH BUILD_DIR [extra cmake args...]: configure once, build
# everything, or only BUILD_TARGET (and what it needs) when that is set.
set -euo pipefail
arch="$1"; build="$2"; shift 2
here="$(cd "$(dirname "$0")/.." && pwd)"
source "$here/scripts/wine-env.sh" "$build" "$arch"
if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake -S "$here" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$here/cmake/mingw.cmake" \
        -DVELMORA_ARCH="$arch" -DCMAKE_BUILD_TYPE=Release \
        -DWINE_PREFIX_DIR="$WINEPREFIX" -DWINE_LOADER="$WINE" "$@"
fi
cmake --build "$build" -j"${JOBS:-2}" ${BUILD_TARGET:+--target "$BUILD_TARGET"}
