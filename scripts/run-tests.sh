#!/usr/bin/env bash
# scripts/run-tests.sh BUILD_DIR ARCH: every test through CTest inside the
# build tree's own Wine session.  Fails when any test fails, when none ran,
# and when fewer ran than the tree defines (test-programs.txt, written by
# CMake): a run that passes empty proves nothing.
set -uo pipefail
source "$(dirname "$0")/wine-env.sh" "$1" "$2"

expected_list="$1/test-programs.txt"
if [ ! -s "$expected_list" ]; then
    echo "error: $1 defines no tests (configured with VELMORA_TESTS=OFF?); reconfigure with -DVELMORA_TESTS=ON" >&2
    exit 1
fi
expected=$(grep -c . "$expected_list")

# A persistent wineserver with its services already up: a test that starts the
# first Wine process otherwise inherits CTest's pipes into those services and hangs.
"$WINESERVER" -k >/dev/null 2>&1 || true
"$WINESERVER" -p
"$WINE" cmd /c exit </dev/null >/dev/null 2>&1

log=$(mktemp)
ctest --test-dir "$1" --output-on-failure --no-tests=error --timeout 300 </dev/null 2>&1 | tee "$log"
rc=${PIPESTATUS[0]}
"$WINESERVER" -k >/dev/null 2>&1 || true

ran=$(sed -nE 's/.*tests? failed out of ([0-9]+).*/\1/p' "$log" | tail -1)
rm -f "$log"
if [ "${ran:-0}" -lt "$expected" ]; then
    echo "error: $expected test programs are defined, but ${ran:-0} ran" >&2
    exit 1
fi
exit $rc
