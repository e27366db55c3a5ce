#!/usr/bin/env bash
# scripts/run.sh BUILD_DIR ARCH: shows the system working in the build tree's
# Wine session: the simulation driver answering a server's requests, then the
# OPC server itself, registered and started as a person would start it.
set -euo pipefail
source "$(dirname "$0")/wine-env.sh" "$1" "$2"
cd "$1/bin"
echo "== the simulation driver, as the server sees it"
"$WINE" tarn_probe.exe TARNWNSIMUL.dll 5 </dev/null
"$WINE" VELMORA_OPC.exe /RegServer </dev/null
echo "== VELMORA_OPC registered as Velmora.VelmoraOPC.1"
if [ -n "${DISPLAY:-}" ]; then
    # Tests run with the null graphics driver; a person needs real windows.
    "$WINE" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d x11 /f </dev/null >/dev/null 2>&1
    trap '"$WINE" reg add "HKCU\\Software\\Wine\\Drivers" /v Graphics /d null /f </dev/null >/dev/null 2>&1' EXIT
    # The desktop process keeps the driver it started with: begin a new session.
    "$WINESERVER" -k >/dev/null 2>&1 || true
    echo "== starting VELMORA_OPC (close its window to end)"
    "$WINE" VELMORA_OPC.exe </dev/null
else
    echo "== no display: start VELMORA_OPC.exe on a desktop to see its window"
    echo "   (a document titled 'OPC Server1 - Simulation' opens at once)"
fi
"$WINESERVER" -w
