#!/usr/bin/env bash
# Runs a Windows program under 64-bit Wine; used as CMake's cross-compiling emulator.
# The caller (scripts/wine-ctest.sh) provides WINEPREFIX and a running wineserver.
export WINEDEBUG="${WINEDEBUG:--all}"
exec /usr/lib/wine/wine64 "$@"
