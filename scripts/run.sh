#!/usr/bin/env bash
# scripts/run.sh BUILD_DIR ARCH: shows the system working in the build tree's
# Wine session.  For now: the simulation driver answering the start-up
# requests and feeding its five tags from one running number.
set -euo pipefail
source "$(dirname "$0")/wine-env.sh" "$1" "$2"
cd "$1/bin"
"$WINE" tarn_probe.exe TARNWNSIMUL.dll 5 </dev/null
"$WINESERVER" -w
