#!/usr/bin/env bash
# Cross-builds velmora for 64-bit Windows (the core, velmora-search.exe and the core tests; Debian has no
# Qt for Windows, so no window) and runs the tests under wine with the ANSI code page 932, the code page
# of the Japanese desktops velmora is made for. Installs what it needs with apt-get, only where missing.
#   VELMORA_WINEPREFIX  the wine prefix to use (default: build-win/wine-prefix, made on first use)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build="$top/build-win"
jobs=$(nproc)
start=$SECONDS

# The cross compiler, wine, the locale of code page 932 and a primed prefix with its server running.
source "$top/scripts/wine-prefix.sh"

echo "== Windows: cross build =="
cmake -S "$top" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$top/cmake/mingw-w64.cmake" -DVELMORA_WINDOW=OFF >/dev/null
cmake --build "$build" -j"$jobs"

echo "== Windows: tests under wine, code page 932 =="
ctest --test-dir "$build" --output-on-failure -j"$jobs"

echo "the Windows part took $((SECONDS - start)) s"
