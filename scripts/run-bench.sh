#!/usr/bin/env bash
# scripts/run-bench.sh BUILD_DIR ARCH [--only NAME[,NAME...]]: prints the
# benchmark table of VELMORA_OPC, measured inside the build tree's own Wine
# session.  The wineserver and every Wine process run on one CPU (taskset):
# on a machine shared with other work that keeps the figures comparable from
# run to run.
set -uo pipefail
build="$(cd "$1" && pwd)"; arch="$2"; shift 2
source "$(dirname "$0")/wine-env.sh" "$build" "$arch"
cpu=$(( $(nproc) - 1 ))

echo "Machine: $(nproc) CPUs, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ *//'),"\
     "$("$WINE" --version 2>/dev/null), $arch build under $(basename "$WINE"), load average$(cut -d' ' -f1-3 /proc/loadavg | sed 's/^/ /')"
echo "Every Wine process and the wineserver run on CPU $cpu only (taskset -c $cpu)."
if [ "$arch" != i686 ]; then
    echo "The deployed build is i686; this kernel cannot run 32-bit programs, so the x86_64 build is measured."
fi

"$WINESERVER" -k >/dev/null 2>&1 || true
taskset -c "$cpu" "$WINESERVER" -p
taskset -c "$cpu" "$WINE" cmd /c exit </dev/null >/dev/null 2>&1
cd "$build/bin"
taskset -c "$cpu" timeout 900 "$WINE" opc_bench.exe "$@" </dev/null
rc=$?
"$WINESERVER" -k >/dev/null 2>&1 || true
exit $rc
