#!/usr/bin/env bash
# scripts/run-one.sh BUILD_DIR ARCH PROGRAM [args...]: runs one test program
# (a name under BUILD_DIR/bin) inside the build tree's own Wine session, the
# way CTest does, for working on one suite:
#   scripts/run-one.sh build/x86_64 x86_64 server_tests.exe --gtest_filter='Browse*'
set -uo pipefail
build="$(cd "$1" && pwd)"; arch="$2"; program="$3"; shift 3
source "$(dirname "$0")/wine-env.sh" "$build" "$arch"
"$WINESERVER" -k >/dev/null 2>&1 || true
"$WINESERVER" -p
"$WINE" cmd /c exit </dev/null >/dev/null 2>&1
cd "$build/bin"
timeout 900 "$WINE" "$program" "$@" </dev/null
rc=$?
"$WINESERVER" -k >/dev/null 2>&1 || true
exit $rc
