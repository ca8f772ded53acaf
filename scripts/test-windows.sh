#!/usr/bin/env bash
# Cross-builds velmora for 64-bit Windows (the core, velmora.exe, velmora-search.exe and the tests) and
# runs the tests under wine with the ANSI code page 932, the code page of the Japanese desktops velmora is
# made for, then drives velmora.exe from outside (tests/window/xvfb_check.sh). The window's tests need a
# display: an Xvfb of our own runs for them. Installs what it needs with apt-get, only where missing.
#   VELMORA_WINEPREFIX  the wine prefix to use (default: build-win/wine-prefix, made on first use)
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build="$top/build-win"
jobs=$(nproc)
start=$SECONDS

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"

echo "== Windows: cross compiler and wine =="
packages=(g++-mingw-w64-x86-64-posix wine wine64 fonts-wine locales gettext cmake make libgtest-dev
  fonts-ipafont-gothic xvfb xdotool xclip imagemagick x11-utils pandoc)
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
# shellcheck source=wine-env.sh
source "$top/scripts/wine-env.sh"
mkdir -p "$WINEPREFIX"

# A display of our own for the window's tests; -displayfd picks a free display number.
xvfb_pid=""
server_started=""
cleanup() {
  [ -n "$server_started" ] && { wineserver -k 2>/dev/null || true; }
  [ -n "$xvfb_pid" ] && { kill "$xvfb_pid" 2>/dev/null || true; }
  rm -f "${display_file:-}"
}
trap cleanup EXIT
display_file=$(mktemp)
Xvfb -displayfd 3 -screen 0 1024x768x24 -dpi 96 -nolisten tcp -noreset 3>"$display_file" >/dev/null 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do [ -s "$display_file" ] && break; sleep 0.1; done
[ -s "$display_file" ] || { echo "test-windows: Xvfb did not start" >&2; exit 1; }
export DISPLAY=":$(head -n 1 "$display_file")"

# One wineserver for the whole run (-p: it stays when the last program exits), stopped at the end. The
# prefix's own background programs start here, with their output going to a file: started from inside a
# test, they would inherit the test's output and keep ctest waiting for it to close.
if wineserver -p 2>/dev/null; then
  server_started=1
else
  echo "a wine server already runs for $WINEPREFIX: using it and leaving it running" >&2
fi
prime_start=$SECONDS
wine_prefix_prepare
echo "wine prefix ready in $((SECONDS - prime_start)) s: $WINEPREFIX"

echo "== Windows: cross build =="
cmake -S "$top" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$top/cmake/mingw-w64.cmake" >/dev/null
cmake --build "$build" -j"$jobs"
echo "velmora.exe imports: $(x86_64-w64-mingw32-objdump -p "$build/velmora.exe" | awk '/DLL Name/ {printf "%s ", $3}')"

echo "== Windows: tests under wine, code page 932 =="
ctest --test-dir "$build" --output-on-failure -j"$jobs"

# The check starts wine on a display of its own: the server of this display's programs goes first.
if [ -n "$server_started" ]; then wineserver -k 2>/dev/null || true; wineserver -w 2>/dev/null || true; server_started=""; fi
echo "== Windows: velmora.exe from outside (screenshots in build-win/screenshots/velmora.exe/) =="
bash "$top/tests/window/xvfb_check.sh" "$build"

echo "the Windows part took $((SECONDS - start)) s"
