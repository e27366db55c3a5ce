#!/usr/bin/env bash
# The package installer against a fake apt-get that fails the way real
# mirrors do: it must go on past a broken index, retry passing failures a
# bounded number of times, never let apt remove a package, and still install
# what the x86_64 tests need when 32-bit Wine cannot be had.
#   install-deps-test.sh PATH/TO/install-deps.sh
set -uo pipefail
installer="$1"
failures=0
fail() { echo "FAIL [$scenario]: $*" >&2; failures=$((failures + 1)); }

# The fakes share a folder: state/installed (one package a line),
# state/calls (one apt-get call a line), and state/mode, which picks how the
# fake apt-get behaves.
make_fakes() {
    local bin="$1/bin"
    mkdir -p "$bin" "$1/state"
    : >"$1/state/installed"; : >"$1/state/calls"
    cat >"$bin/id" <<'FAKE'
#!/bin/sh
echo 0
FAKE
    cat >"$bin/dpkg" <<'FAKE'
#!/bin/sh
case "$1" in
    -s) grep -qx "$2" "$FAKE_STATE/installed" ;;
    --print-foreign-architectures) echo i386 ;;
    *) exit 0 ;;
esac
FAKE
    cat >"$bin/dpkg-query" <<'FAKE'
#!/bin/sh
sed 's/$/ ii/' "$FAKE_STATE/installed"
FAKE
    cat >"$bin/apt-get" <<'FAKE'
#!/usr/bin/env bash
state="$FAKE_STATE"; mode=$(cat "$state/mode")
echo "$*" >>"$state/calls"
args=" $* "
if [ "$1" = update ]; then
    echo "Err:6 http://deb.debian.org/debian-security bookworm-security/main i386 Packages"
    echo "  File has unexpected size (374820 != 376004). Mirror sync in progress?"
    echo "E: Some index files failed to download. They have been ignored, or old ones used instead."
    exit 100
fi
packages=(); skip=0
for a in "${@:2}"; do
    [ $skip = 1 ] && { skip=0; continue; }
    case "$a" in -t) skip=1 ;; -*) ;; *) packages+=("$a") ;; esac
done
install() { printf '%s\n' "${packages[@]%%/*}" >>"$state/installed"; exit 0; }
if [ "$mode" = flaky ]; then
    echo "E: Failed to fetch http://deb.debian.org/pool/x.deb  Temporary failure resolving 'deb.debian.org'"
    exit 100
fi
case "$args" in *" wine32:i386 "*) ;; *) install ;; esac
if [ "$mode" = skewed ] && [[ "$args" == *" -t "* ]] && [[ "$args" == *" libgstreamer-plugins-base1.0-0:i386 "* ]]; then
    if [[ "$args" == *" -s "* ]]; then
        # Without --no-remove apt would take the amd64 halves away.
        echo "The following packages will be REMOVED:"
        echo "  libgstreamer-plugins-base1.0-0 libwine* wine64"
        echo "The following NEW packages will be installed:"
        echo "  wine32:i386"
        exit 0
    fi
    if [[ "$args" == *" --allow-downgrades "* && "$args" == *"libgstreamer-plugins-base1.0-0/"* &&
          "$args" == *"wine64/"* && "$args" == *"libwine/"* ]]; then
        install
    fi
    echo "E: Packages need to be removed but remove is disabled."
    exit 100
fi
[[ "$args" == *" -s "* ]] && exit 100
echo "The following packages have unmet dependencies:"
echo " libwine:i386 : Depends: libgstreamer-plugins-base1.0-0:i386 (>= 1.0.0) but it is not going to be installed"
echo "E: Unable to correct problems, you have held broken packages."
exit 100
FAKE
    chmod +x "$bin"/*
}

# run_installer MODE: runs the installer against fresh fakes; leaves its
# output in $out and exit code in $rc.
run_installer() {
    dir=$(mktemp -d); make_fakes "$dir"
    echo "$1" >"$dir/state/mode"
    out=$(PATH="$dir/bin:$PATH" FAKE_STATE="$dir/state" APT_RETRIES=3 APT_RETRY_DELAY=0 bash "$installer" 2>&1)
    rc=$?
    calls="$dir/state/calls"; installed="$dir/state/installed"
}

check_never_removes() {
    local bad
    bad=$(grep '^install' "$calls" | grep -v -- ' -s ' | grep -v -- '--no-remove')
    [ -z "$bad" ] || fail "an install without --no-remove: $bad"
}

scenario="mirror fails one index, i386 versions lag behind amd64"
run_installer skewed
[ $rc -eq 0 ] || fail "exit $rc: $out"
[ "$(grep -c '^update' "$calls")" -eq 3 ] || fail "apt-get update not retried 3 times"
grep -qx wine32:i386 "$installed" || fail "32-bit Wine not installed: $out"
grep -qx libwine-dev "$installed" || fail "Wine's IDL files not installed"
grep -qx wine64 "$installed" || fail "wine64 not kept"
grep -q 'index' <<<"$out" || fail "no warning about the failed index"
check_never_removes

scenario="32-bit Wine cannot be installed at all"
run_installer refused
[ $rc -eq 0 ] || fail "exit $rc: $out"
grep -qx g++-mingw-w64-x86-64 "$installed" || fail "x86_64 tool chain not installed"
grep -qx wine32:i386 "$installed" && fail "wine32 reported installed"
grep -q 'built but not run' <<<"$out" || fail "no plain word about the 32-bit binaries: $out"
grep -q 'held broken packages' <<<"$out" || fail "apt's reason not passed on: $out"
check_never_removes

scenario="every download fails"
run_installer flaky
[ $rc -ne 0 ] || fail "a failed install reported as success"
[ "$(grep -c '^install' "$calls")" -eq 3 ] || fail "expected 3 tries, got $(grep -c '^install' "$calls")"
grep -q 'could not install the build and test tools' <<<"$out" || fail "no error message: $out"
check_never_removes

[ $failures -eq 0 ] && echo "install-deps: all scenarios passed"
exit $((failures > 0))
