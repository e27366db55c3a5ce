#!/usr/bin/env bash
# Prints the architecture whose binaries this machine can run under Wine.
# 32-bit Wine needs a kernel that executes i386 Linux programs; some virtual
# machines switch that off, and then the 64-bit build is the one tested.
if /usr/lib/wine/wine --version >/dev/null 2>&1; then echo i686; else echo x86_64; fi
