#!/usr/bin/env bash
# scripts/run.sh BUILD_DIR ARCH: shows the system working in the build tree's
# Wine session: the simulation driver answering a server's requests, the OPC
# server registered, then a client: OSTREL on a display, else the console
# client showing live values.
set -euo pipefail
source "$(dirname "$0")/wine-env.sh" "$1" "$2"
cd "$1/bin"
echo "== the simulation driver, as the server sees it"
"$WINE" tarn_probe.exe TARNWNSIMUL.dll 5 </dev/null
"$WINE" VELMORA_OPC.exe /RegServer </dev/null
echo "== VELMORA_OPC registered as Velmora.VelmoraOPC.1"
if [ -n "${DISPLAY:-}" ] && [ -f OSTREL.exe ]; then
    # A ready document: the connection to VELMORA_OPC with a group "Group1"
    # of the five simulated tags, written by the console client.
    demo="Z:$(echo "$1/demo.ostr" | tr / '\\')"
    "$WINE" ostrel_console.exe save Velmora.VelmoraOPC.1 "$demo" </dev/null
    # Tests run with the null graphics driver; a person needs real windows.
    "$WINE" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d x11 /f </dev/null >/dev/null 2>&1
    trap '"$WINE" reg add "HKCU\\Software\\Wine\\Drivers" /v Graphics /d null /f </dev/null >/dev/null 2>&1' EXIT
    # The desktop process keeps the driver it started with: begin a new session.
    "$WINESERVER" -k >/dev/null 2>&1 || true
    echo "== starting OSTREL, the OPC client, on that document; its group shows the live values (close it to end)"
    "$WINE" OSTREL.exe "$demo" </dev/null &
    "$WINE" ostrel_pilot.exe select-group 60 </dev/null || true
    wait
else
    # Headless: the console client subscribes to the simulated tags through
    # VELMORA_OPC and prints each change as it arrives.
    echo "== the address space of VELMORA_OPC"
    "$WINE" ostrel_console.exe browse Velmora.VelmoraOPC.1 </dev/null
    echo "== live values for 5 seconds (a group at 500 ms, changes as they arrive)"
    "$WINE" ostrel_console.exe watch Velmora.VelmoraOPC.1 5 </dev/null
    echo "== one second of synchronous reads, from the cache and from the device"
    "$WINE" ostrel_console.exe throughput Velmora.VelmoraOPC.1 </dev/null
fi
"$WINESERVER" -w
