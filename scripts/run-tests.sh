#!/usr/bin/env bash
# scripts/run-tests.sh BUILD_DIR ARCH: every test through CTest inside the
# build tree's own Wine session.
set -uo pipefail
source "$(dirname "$0")/wine-env.sh" "$1" "$2"

# A persistent wineserver with its services already up: a test that starts the
# first Wine process otherwise inherits CTest's pipes into those services and hangs.
"$WINESERVER" -k >/dev/null 2>&1 || true
"$WINESERVER" -p
"$WINE" cmd /c exit </dev/null >/dev/null 2>&1

ctest --test-dir "$1" --output-on-failure --timeout 300 </dev/null
rc=$?
"$WINESERVER" -k >/dev/null 2>&1 || true
exit $rc
