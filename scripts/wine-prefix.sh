#!/usr/bin/env bash
# scripts/wine-prefix.sh BUILD_DIR ARCH: creates the build tree's Wine prefix
# once, with the null graphics driver so that windows, dialogs and message
# boxes work without a display.
set -euo pipefail
source "$(dirname "$0")/wine-env.sh" "$1" "$2"
stamp="$WINEPREFIX/.headless-ready"
[ -f "$stamp" ] && exit 0

echo "creating Wine prefix $WINEPREFIX"
mkdir -p "$WINEPREFIX"
"$WINE" wineboot -i </dev/null >/dev/null 2>&1 || true
"$WINESERVER" -w
"$WINE" reg add 'HKCU\Software\Wine\Drivers' /v Graphics /d null /f </dev/null >/dev/null 2>&1
# A crashing test must end with its backtrace printed (winedbg --auto), not
# wait for someone to close a crash dialog.
"$WINE" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f </dev/null >/dev/null 2>&1
"$WINESERVER" -w
touch "$stamp"
