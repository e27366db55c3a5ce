#!/usr/bin/env bash
# scripts/screenshots.sh BUILD_DIR ARCH [OUT_DIR]: pictures of VELMORA_OPC and
# OSTREL at work, taken on a virtual X display (Xvfb) with Wine's x11 driver,
# written as PNG files to OUT_DIR (default docs/).  Needs xvfb and
# imagemagick; the build tree's Wine prefix is put back to the null driver
# afterwards.
set -euo pipefail
here="$(cd "$(dirname "$0")/.." && pwd)"
build="$(cd "$1" && pwd)"; arch="$2"; out="$(mkdir -p "${3:-$here/docs}" && cd "${3:-$here/docs}" && pwd)"
source "$here/scripts/wine-env.sh" "$build" "$arch"
cd "$build/bin"

display=:97
Xvfb $display -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
export DISPLAY=$display
restore() {
    "$WINESERVER" -k >/dev/null 2>&1 || true
    "$WINE" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f </dev/null >/dev/null 2>&1 || true
    "$WINE" reg delete 'HKCU\Software\Wine\Explorer' /v Desktop /f </dev/null >/dev/null 2>&1 || true
    "$WINESERVER" -k >/dev/null 2>&1 || true
    kill $xvfb 2>/dev/null || true
}
trap restore EXIT
sleep 1

"$WINESERVER" -k >/dev/null 2>&1 || true
"$WINE" VELMORA_OPC.exe /RegServer </dev/null
# Wine sees the Unix root as drive Z:.
demo="Z:$(echo "$build/demo.ostr" | tr / '\\')"
"$WINE" ostrel_console.exe save Velmora.VelmoraOPC.1 "$demo" </dev/null
"$WINE" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d x11 /f </dev/null >/dev/null 2>&1
# One virtual desktop filling the screen: Wine then draws the windows' title
# bars and borders itself, as Windows would.
"$WINE" reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f </dev/null >/dev/null 2>&1
"$WINE" reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1280x800 /f </dev/null >/dev/null 2>&1
"$WINESERVER" -k >/dev/null 2>&1 || true

pilot() { "$WINE" ostrel_pilot.exe "$@" </dev/null; }
# The window whose caption contains $1, cut out of the screen.
shoot() {
    local geometry
    geometry="$(pilot rect "$1" | tr -d '\r')"
    import -window root -crop "$geometry" +repage "$out/$2"
    echo "== $out/$2 ($1, $geometry)"
}

# The server started by a person shows its window with one server object;
# OSTREL then connects to the same process and makes a second one.
"$WINE" VELMORA_OPC.exe </dev/null &
pilot wait "Velmora OPC Server" 60
pilot place "Velmora OPC Server" 480 430 780 360
"$WINE" OSTREL.exe "$demo" </dev/null &
pilot wait " - Ostrel" 60
pilot place " - Ostrel" 10 10 900 410
pilot select-group 60
sleep 4
shoot " - Ostrel" ostrel-main.png
shoot "Velmora OPC Server" velmora-opc.png

# The tools, each opened on the first item or the group.
pilot select-row 0
pilot command 32775
if pilot wait "Read/Write" 20; then sleep 1; shoot "Read/Write" ostrel-read-write.png; pilot close "Read/Write"; fi
pilot command 32778
if pilot wait "Performance test" 20; then
    pilot click "Performance test" 1019 || true
    sleep 3; shoot "Performance test" ostrel-performance.png; pilot close "Performance test"
fi
pilot select-server 20
pilot command 32774
if pilot wait "OPC Interfaces" 20; then sleep 1; shoot "OPC Interfaces" ostrel-interfaces.png; pilot close "OPC Interfaces"; fi
pilot close " - Ostrel"
pilot close "Velmora OPC Server"
