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

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"

echo "== Windows: cross compiler and wine =="
packages=(g++-mingw-w64-x86-64-posix wine wine64 locales cmake make libgtest-dev)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}" >&2
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# wine takes its ANSI code page from LC_CTYPE: ja_JP.UTF-8 gives 932, but only once the locale is
# generated; without it wine falls back to 1252.
if ! locale -a 2>/dev/null | grep -qixE 'ja_JP\.utf-?8'; then
  echo "generating the ja_JP.UTF-8 locale" >&2
  $sudo localedef -i ja_JP -f UTF-8 ja_JP.UTF-8
fi

export WINEPREFIX="${VELMORA_WINEPREFIX:-$build/wine-prefix}"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=" # no offer to install .NET or a browser engine into the prefix
export LC_ALL=ja_JP.UTF-8
mkdir -p "$WINEPREFIX"

# One wineserver for the whole run (-p: it stays when the last program exits), stopped at the end. The
# prefix's own background programs start here, with their output going nowhere: started from inside a
# test, they would inherit the test's output and keep ctest waiting for it to close.
if wineserver -p 2>/dev/null; then
  trap 'wineserver -k 2>/dev/null || true' EXIT
else
  echo "a wine server already runs for $WINEPREFIX: using it and leaving it running" >&2
fi
prime_start=$SECONDS
wineboot -i >/dev/null 2>&1 </dev/null
echo "wine prefix ready in $((SECONDS - prime_start)) s: $WINEPREFIX"

echo "== Windows: cross build =="
cmake -S "$top" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$top/cmake/mingw-w64.cmake" -DVELMORA_WINDOW=OFF >/dev/null
cmake --build "$build" -j"$jobs"

echo "== Windows: tests under wine, code page 932 =="
ctest --test-dir "$build" --output-on-failure -j"$jobs"

echo "the Windows part took $((SECONDS - start)) s"
