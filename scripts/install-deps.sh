#!/usr/bin/env bash
# Installs the cross toolchain, Wine and the test tools when any is missing.
# Debian 12; needs root for apt-get.
#
# Written for real mirrors, which fail now and then:
# - an index that fails to download is warned about and the others are used;
# - apt is never allowed to remove an installed package (--no-remove): a
#   resolver that satisfies i386 Wine by removing amd64 Wine breaks the
#   x86_64 build that does not need i386 at all;
# - network hiccups are retried a bounded number of times;
# - 32-bit Wine is optional: when it cannot be installed, everything else
#   still is, and the x86_64 build is the one tested (scripts/test-arch.sh).
#
# APT_RETRIES (default 3) and APT_RETRY_DELAY (seconds, default 10) bound
# the retries.
set -uo pipefail

retries="${APT_RETRIES:-3}"
retry_delay="${APT_RETRY_DELAY:-10}"

base_packages=(python3 wine wine64 g++-mingw-w64-i686 g++-mingw-w64-x86-64 mingw-w64-tools libwine-dev
               googletest cmake make xvfb imagemagick)
wine32_package=wine32:i386

missing() {
    local p
    for p in "$@"; do
        dpkg -s "$p" >/dev/null 2>&1 || echo "$p"
    done
}

installed_packages() {
    dpkg-query -W -f='${binary:Package} ${db:Status-Abbrev}\n' 2>/dev/null | awk '$2 == "ii" { print $1 }' | sort
}

# Fails when a package installed before an apt run is gone after it.  apt is
# told not to remove anything; this checks that it kept its word.
check_nothing_removed() {
    local before="$1" gone
    gone=$(comm -23 "$before" <(installed_packages))
    if [ -n "$gone" ]; then
        echo "error: apt removed installed packages: $(echo $gone)" >&2
        exit 1
    fi
}

is_transient() {
    grep -qE 'Failed to fetch|Temporary failure|Could not connect|Connection failed|Connection timed out|Hash Sum mismatch|unexpected size|Unable to fetch some archives|Could not get lock|Could not resolve' "$1"
}

# apt-get update: a failed index is not fatal (apt then keeps the old one or
# none), but it is retried in case the mirror was only syncing.
apt_update() {
    local try log
    log=$(mktemp)
    for ((try = 1; try <= retries; try++)); do
        if apt-get update -q >"$log" 2>&1; then
            rm -f "$log"; return 0
        fi
        if [ "$try" -lt "$retries" ]; then
            echo "apt-get update failed (try $try of $retries); retrying in ${retry_delay}s" >&2
            sleep "$retry_delay"
        fi
    done
    echo "warning: some package indexes could not be downloaded; going on with the ones there are:" >&2
    grep -E '^(E|W|Err):' "$log" | sed 's/^/  /' >&2
    rm -f "$log"
    return 0
}

# apt_install LOG ARGS...: one install that may not remove anything, retried
# while it fails for reasons that can pass.  apt's output is kept in LOG.
apt_install() {
    local log="$1" try rc; shift
    for ((try = 1; try <= retries; try++)); do
        apt-get install -y -q --no-remove "$@" 2>&1 | tee "$log"
        rc=${PIPESTATUS[0]}
        [ "$rc" -eq 0 ] && return 0
        is_transient "$log" || return "$rc"
        if [ "$try" -lt "$retries" ]; then
            echo "apt-get install failed for a passing reason (try $try of $retries); retrying in ${retry_delay}s" >&2
            sleep "$retry_delay"
        fi
    done
    return "$rc"
}

# The packages apt would remove to give 32-bit Wine its Multi-Arch: same
# partners, as "NAME/RELEASE", so that the real install moves them to the
# main release's version instead.  Only a simulation (-s) is asked here, so
# nothing is removed; apt lists them as
#   The following packages will be REMOVED:
#     pkg-a pkg-b*
removal_candidates() {
    local release="$1"; shift
    apt-get install -s -q -t "$release" --allow-downgrades "$@" 2>/dev/null |
        awk '/^The following packages will be REMOVED:/ { inside = 1; next }
             inside && /^  / { for (i = 1; i <= NF; i++) { sub(/\*$/, "", $i); print $i }; next }
             { inside = 0 }' |
        sed "s|\$|/$release|"
}

# What apt said it would not install to satisfy a dependency:
#   libwine:i386 : Depends: libfoo:i386 (>= 1.0) but it is not going to be installed
# Asking for such a package by name makes apt say why, or find the way.
blocked_dependencies() {
    sed -nE 's/.*Depends: ([^ ]+)( \([^)]*\))? but it is not going to be installed.*/\1/p' "$1" | sort -u
}

# 32-bit Wine, first as apt would take it, then from the main release with
# downgrades allowed.  Security updates can reach amd64 while the i386 index
# of the security archive cannot be read; Multi-Arch: same packages need
# equal versions on both architectures, so the packages apt would remove are
# named and taken from the main release instead.
install_wine32() {
    local log="$1" release request=("$wine32_package") grown round
    apt_install "$log" "$wine32_package" && return 0
    release=$(. /etc/os-release 2>/dev/null && echo "${VERSION_CODENAME:-}")
    [ -n "$release" ] || release=bookworm
    for round in 1 2 3 4; do
        mapfile -t grown < <({ printf '%s\n' "${request[@]}"; blocked_dependencies "$log"; } | sort -u)
        mapfile -t grown < <({ printf '%s\n' "${grown[@]}"; removal_candidates "$release" "${grown[@]}"; } | sort -u)
        echo "retrying from the $release release: ${grown[*]}" >&2
        apt_install "$log" -t "$release" --allow-downgrades "${grown[@]}" && return 0
        # Nothing new to name: apt's answer will not change.
        [ "${grown[*]}" = "${request[*]}" ] && return 1
        request=("${grown[@]}")
    done
    return 1
}

mapfile -t missing_base < <(missing "${base_packages[@]}")
mapfile -t missing_wine32 < <(missing "$wine32_package")
[ ${#missing_base[@]} -eq 0 ] && [ ${#missing_wine32[@]} -eq 0 ] && exit 0

echo "installing: ${missing_base[*]} ${missing_wine32[*]}"
if [ "$(id -u)" -ne 0 ]; then
    echo "error: missing packages and not root; run as root or install them: ${missing_base[*]} ${missing_wine32[*]}" >&2
    exit 1
fi
dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
export DEBIAN_FRONTEND=noninteractive
apt_update

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
installed_packages >"$work/before"

if [ ${#missing_base[@]} -gt 0 ]; then
    if ! apt_install "$work/apt.log" "${missing_base[@]}"; then
        echo "error: could not install the build and test tools: ${missing_base[*]}" >&2
        exit 1
    fi
    check_nothing_removed "$work/before"
fi

if [ ${#missing_wine32[@]} -gt 0 ]; then
    if install_wine32 "$work/apt.log"; then
        check_nothing_removed "$work/before"
    else
        check_nothing_removed "$work/before"
        reason=$(grep -E '^E:|is to be installed|not installable|has no installation candidate' "$work/apt.log" | head -3 | sed 's/^ *//')
        echo "warning: 32-bit Wine ($wine32_package) could not be installed:" >&2
        echo "${reason:-  apt gave no reason}" | sed 's/^/  /' >&2
        echo "warning: the 32-bit binaries (build/i686) will be built but not run; the tests run on the x86_64 build under 64-bit Wine." >&2
    fi
fi
exit 0
