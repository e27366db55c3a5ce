# Sourced by the scripts: the isolated, headless Wine session of one build tree.
# $1 = absolute build directory, $2 = target architecture (i686 or x86_64).
export WINEPREFIX="$1/wineprefix"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
if [ "$2" = i686 ]; then
    export WINEARCH=win32 WINE=/usr/lib/wine/wine WINESERVER=/usr/lib/wine/wineserver32
else
    export WINEARCH=win64 WINE=/usr/lib/wine/wine64 WINESERVER=/usr/lib/wine/wineserver64
fi
export WINELOADER="$WINE"
