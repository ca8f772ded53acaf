# Sourced (not run) by the scripts that cross-build velmora for 64-bit Windows and run its programs under
# wine: installs the cross compiler and wine where they are missing, generates the ja_JP.UTF-8 locale,
# exports the wine environment with the ANSI code page 932, starts one wine server for the caller's run
# and primes the prefix. The caller sets `top` (the project's folder) first; the server is stopped by
# wine_prefix_stop, which an EXIT trap set here calls (a caller that sets its own trap calls it there).
#   VELMORA_WINEPREFIX  the wine prefix to use (default: build-win/wine-prefix, made on first use)

wine_sudo=""
[ "$(id -u)" -eq 0 ] || wine_sudo="sudo"

echo "== Windows: cross compiler and wine =="
wine_packages=(g++-mingw-w64-x86-64-posix wine wine64 locales cmake make libgtest-dev)
wine_missing=()
for p in "${wine_packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || wine_missing+=("$p")
done
if [ ${#wine_missing[@]} -gt 0 ]; then
  echo "installing: ${wine_missing[*]}" >&2
  $wine_sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $wine_sudo apt-get install -y -qq --no-install-recommends "${wine_missing[@]}" >/dev/null
fi

# wine takes its ANSI code page from LC_CTYPE: ja_JP.UTF-8 gives 932, but only once the locale is
# generated; without it wine falls back to 1252.
if ! locale -a 2>/dev/null | grep -qixE 'ja_JP\.utf-?8'; then
  echo "generating the ja_JP.UTF-8 locale" >&2
  $wine_sudo localedef -i ja_JP -f UTF-8 ja_JP.UTF-8
fi

export WINEPREFIX="${VELMORA_WINEPREFIX:-$top/build-win/wine-prefix}"
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=" # no offer to install .NET or a browser engine into the prefix
export LC_ALL=ja_JP.UTF-8
mkdir -p "$WINEPREFIX"

# One wineserver for the whole run (-p: it stays when the last program exits), stopped at the end. The
# prefix's own background programs start here, with their output going nowhere: started from inside a
# test, they would inherit the test's output and keep ctest waiting for it to close.
wine_server_ours=0
wine_prefix_stop() {
  if [ "$wine_server_ours" -eq 1 ]; then
    wineserver -k 2>/dev/null || true
    wine_server_ours=0
  fi
}
if wineserver -p 2>/dev/null; then
  wine_server_ours=1
  trap wine_prefix_stop EXIT
else
  echo "a wine server already runs for $WINEPREFIX: using it and leaving it running" >&2
fi
wine_prime_start=$SECONDS
wineboot -i >/dev/null 2>&1 </dev/null
echo "wine prefix ready in $((SECONDS - wine_prime_start)) s: $WINEPREFIX"
