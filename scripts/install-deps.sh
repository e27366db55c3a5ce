#!/usr/bin/env bash
# Installs the cross toolchain, Wine and the test tools when any is missing.
# Debian 12; needs root for apt-get.
set -euo pipefail

packages=(python3 wine wine64 wine32:i386 g++-mingw-w64-i686 g++-mingw-w64-x86-64 mingw-w64-tools libwine-dev
          googletest cmake make xvfb imagemagick)

missing=()
for p in "${packages[@]}"; do
    dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "installing: ${missing[*]}"
if [ "$(id -u)" -ne 0 ]; then
    echo "error: missing packages and not root; run as root or install them: ${missing[*]}" >&2
    exit 1
fi
dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
export DEBIAN_FRONTEND=noninteractive
apt-get update -q
apt-get install -y -q "${missing[@]}"
