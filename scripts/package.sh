#!/usr/bin/env bash
# Makes velmora's two packages with cpack and checks each one as its user gets it.
#   The Debian package, velmora_<version>_amd64.deb, from the Linux build (build/): its files against the
#   expected list; lintian must find no error and no warning, desktop-file-validate and appstreamcli
#   validate --pedantic must pass, and it must ship no maintainer script; then apt-get installs it on this
#   machine, the installed copyright and changelog must be the project's, man must find and render each
#   manual page in English and Japanese without a groff warning, the installed example and guide must be the
#   project's own, velmora-search --count on the installed example must print 23, the installed guide must
#   render as a page with its tables in headless Chromium (screenshot build/packages/guide.png), and the
#   installed window must come up on that example under Xvfb (screenshot
#   build/packages/installed-window.png). Then velmora
#   and the dependencies that its installation added are purged again. Only those: other programs may
#   install packages at the same time, so what counts as added is apt's own plan for this installation
#   (packages not installed before it), less any that something has since marked as installed by hand.
#   The Windows zip, velmora-<version>-windows-x64.zip, from the cross build (build-win/): its entries
#   against the expected list; unpacked, its example must equal examples/text-2x.ini byte for byte, its
#   guide must be the page the cross build made, its LICENSE.txt the licence with CR LF, and its
#   velmora-search.exe, run under wine with code page 932, must count 23 on it.
# The packages land in build/packages/ and build-win/packages/. build/ is built as scripts/run-tests.sh
# makes it; build-win/ is made by scripts/test-windows.sh when it has not been configured yet.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
jobs=$(nproc)
start=$SECONDS

"$top/scripts/install-deps.sh" build window package
# The Japanese manual pages are found and checked in the ja_JP.UTF-8 locale.
if ! locale -a 2>/dev/null | grep -qixE 'ja_JP\.utf-?8'; then
  echo "generating the ja_JP.UTF-8 locale" >&2
  $([ "$(id -u)" -eq 0 ] || echo sudo) localedef -i ja_JP -f UTF-8 ja_JP.UTF-8
fi

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"

fail() { echo "package.sh: FAIL: $*" >&2; exit 1; }

# The guide as shipped: one standalone HTML page in UTF-8, saying so, with its tables as tables.
check_guide_page() {
  local page=$1 what=$2
  head -c 15 "$page" | grep -q '^<!DOCTYPE html>' || fail "$what is not an HTML page"
  grep -q '<meta charset="utf-8"' "$page" || fail "$what does not declare UTF-8"
  [ "$(grep -c '<table' "$page")" -ge 3 ] || fail "$what lacks its tables"
  iconv -f UTF-8 -t UTF-8 "$page" >/dev/null || fail "$what is not valid UTF-8"
}

is_installed() { dpkg-query -W -f='${db:Status-Abbrev}' "$1" 2>/dev/null | grep -q '^ii'; }
# Compares a listing on standard input with the expected one given as arguments.
same_list() {
  local what=$1; shift
  printf '%s\n' "$@" | LC_ALL=C sort >"$work/expected"
  LC_ALL=C sort >"$work/actual"
  diff -u "$work/expected" "$work/actual" >&2 || fail "$what differs from the expected list (- expected, + found)"
}

work=$(mktemp -d)
xvfb_pid=""
app_pid=""
wine_server=""
added=()
# Purges the packages in `added`, and nothing else: when apt would take any other package with them (one
# that something installed meanwhile depends on them), it leaves them all and says so.
purge_added() {
  local others
  others=$(LC_ALL=C apt-get purge -s "${added[@]}" 2>/dev/null | awk '$1 == "Purg" || $1 == "Remv" {print $2}' |
    grep -vxF -f <(printf '%s\n' "${added[@]}") || true)
  if [ -n "$others" ]; then
    echo "package.sh: not removing ${added[*]}: apt would also remove $(echo $others)" >&2
    return 1
  fi
  DEBIAN_FRONTEND=noninteractive $sudo apt-get purge -y -qq -o DPkg::Lock::Timeout=600 "${added[@]}" \
    >"$work/apt-purge.log" 2>&1 || { cat "$work/apt-purge.log" >&2; return 1; }
}
cleanup() {
  [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null || true
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  if [ ${#added[@]} -gt 0 ]; then
    echo "removing what the installation added: ${added[*]}"
    purge_added || echo "package.sh: could not remove ${added[*]}" >&2
    added=()
  fi
  [ -n "$wine_server" ] && { wineserver -k 2>/dev/null || true; }
  rm -rf "$work"
}
trap cleanup EXIT

echo "== packages: the Debian package =="
cmake -S "$top" -B "$top/build" -DVELMORA_WINDOW=ON >/dev/null
cmake --build "$top/build" -j"$jobs" >/dev/null
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$top/build/CMakeCache.txt")
[ -n "$version" ] || fail "no project version in build/CMakeCache.txt"
mkdir -p "$top/build/packages"
rm -f "$top/build/packages/"*.deb
(cd "$top/build" && cpack -G DEB -B "$top/build/packages" >"$work/cpack-deb.log" 2>&1) || { cat "$work/cpack-deb.log" >&2; fail "cpack -G DEB"; }
deb="$top/build/packages/velmora_${version}_amd64.deb"
[ -f "$deb" ] || fail "cpack made no $(basename "$deb")"

dpkg-deb -c "$deb" | awk '$1 !~ /^d/ {print $6}' | same_list "the Debian package's files" \
  ./usr/bin/velmora ./usr/bin/velmora-search ./usr/share/applications/velmora.desktop \
  ./usr/share/icons/hicolor/16x16/apps/velmora.png ./usr/share/doc/velmora/使い方.html \
  ./usr/share/doc/velmora/examples/text-2x.ini ./usr/share/locale/ja/LC_MESSAGES/velmora-search.mo \
  ./usr/share/doc/velmora/copyright ./usr/share/doc/velmora/changelog.gz \
  ./usr/share/man/man1/velmora.1.gz ./usr/share/man/man1/velmora-search.1.gz \
  ./usr/share/man/ja/man1/velmora.1.gz ./usr/share/man/ja/man1/velmora-search.1.gz \
  ./usr/share/icons/hicolor/{32x32,48x48,64x64,128x128}/apps/velmora.png \
  ./usr/share/metainfo/velmora.metainfo.xml
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "the Debian package's version is not $version"
depends=$(dpkg-deb -f "$deb" Depends)
grep -q 'libqt6widgets6' <<<"$depends" || fail "the dependencies lack Qt Widgets: $depends"
echo "depends: $depends"

# ---- Debian's own checks: lintian, the desktop entry, the metainfo, no maintainer scripts ----
# lintian must find no error and no warning; its notes at info level are shown, not failed.
lintian --display-info --pedantic --fail-on error,warning "$deb" >"$work/lintian.log" 2>&1 ||
  { cat "$work/lintian.log" >&2; fail "lintian finds errors or warnings in $(basename "$deb")"; }
grep -v 'running with root privileges' "$work/lintian.log" | sed 's/^/lintian: /' || true
echo "lintian: no error, no warning"
# The icon cache and the manual pages' index are refreshed by Debian's triggers: no script of our own.
scripts=$(dpkg-deb --ctrl-tarfile "$deb" | tar -t | sed 's|^\./||' | grep -vxE 'control|md5sums|' || true)
[ -z "$scripts" ] || fail "the Debian package has maintainer scripts: $(echo $scripts)"
mkdir "$work/deb-tree"
dpkg-deb -x "$deb" "$work/deb-tree"
desktop-file-validate "$work/deb-tree/usr/share/applications/velmora.desktop" ||
  fail "desktop-file-validate finds fault with velmora.desktop"
# AppStream: the validator's only note may be that it does not know the id's top-level name, "example",
# the reserved name (velmora.example) that stands for the domain the project does not have.
metainfo="$work/deb-tree/usr/share/metainfo/velmora.metainfo.xml"
appstreamcli validate --pedantic --no-net "$metainfo" >"$work/appstream.log" 2>&1 ||
  { cat "$work/appstream.log" >&2; fail "appstreamcli validate --pedantic fails on velmora.metainfo.xml"; }
notes=$(grep -E '^[EWI]: ' "$work/appstream.log" | grep -vE '^I: example\.velmora\.velmora:[0-9]+: cid-maybe-not-rdns ' || true)
[ -z "$notes" ] || { cat "$work/appstream.log" >&2; fail "appstreamcli validate --pedantic notes: $notes"; }
echo "desktop-file-validate and appstreamcli validate --pedantic: passed"
# ---- end of Debian's own checks ----

is_installed velmora && fail "a velmora package is installed already; remove it first (apt-get remove velmora)"
# apt's plan: the packages that installing the .deb adds, each one not installed before.
planned=()
while read -r name; do
  is_installed "$name" || planned+=("$name")
done < <(LC_ALL=C apt-get install -s "$deb" 2>/dev/null | awk '$1 == "Inst" {print $2}')
printf '%s\n' "${planned[@]}" | grep -qx velmora || fail "apt-get does not plan to install velmora from $deb"
echo "installing $(basename "$deb") with apt-get (adds: ${planned[*]})"
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq -o DPkg::Lock::Timeout=600 "$deb" \
  >"$work/apt-install.log" 2>&1 || { cat "$work/apt-install.log" >&2; fail "apt-get install $deb"; }
# What to remove afterwards: velmora, and the planned dependencies that apt installed automatically.
added=(velmora)
for name in "${planned[@]}"; do
  [ "$name" = velmora ] && continue
  is_installed "$name" && [ -n "$(apt-mark showauto "$name")" ] && added+=("$name")
done
is_installed velmora || fail "velmora is not installed after apt-get install"

doc=/usr/share/doc/velmora
cmp "$doc/examples/text-2x.ini" "$top/examples/text-2x.ini" || fail "the installed example differs from examples/text-2x.ini"
cmp "$doc/使い方.html" "$top/build/使い方.html" || fail "the installed guide differs from build/使い方.html"
check_guide_page "$doc/使い方.html" "the installed guide"
mkdir "$work/deb-run"
cp "$doc/examples/text-2x.ini" "$work/deb-run/"
count=$(cd "$work/deb-run" && /usr/bin/velmora-search --count)
[ "$count" = 23 ] || fail "the installed velmora-search --count printed '$count', not 23"
echo "installed velmora-search --count on the installed example: $count"
# The installed program finds its installed catalogue.
version_ja=$(LC_ALL=ja_JP.UTF-8 /usr/bin/velmora-search --version)
[ "$version_ja" = "velmora-search バージョン $version" ] || fail "the installed velmora-search in Japanese printed '$version_ja'"
echo "installed velmora-search --version in Japanese: $version_ja"

# ---- The installed licence, changelog and manual pages ----
cmp "$doc/copyright" "$top/debian/copyright" || fail "the installed copyright differs from debian/copyright"
changes_version=$(zcat "$doc/changelog.gz" | dpkg-parsechangelog -l - -S Version) ||
  fail "dpkg-parsechangelog cannot read the installed changelog.gz"
[ "$changes_version" = "$version" ] || fail "the installed changelog's newest version is $changes_version, not $version"
# Each page in each language: man finds the installed one, and groff renders it without a warning.
for page in velmora velmora-search; do
  for lang in C.UTF-8 ja_JP.UTF-8; do
    file=$(LANG=$lang LC_ALL=$lang man -w "$page") || fail "man -w $page finds no page with LANG=$lang"
    expected="/usr/share/man/man1/$page.1.gz"
    [ "$lang" = C.UTF-8 ] || expected="/usr/share/man/ja/man1/$page.1.gz"
    [ "$file" = "$expected" ] || fail "man -w $page with LANG=$lang gives $file, not $expected"
    warnings=$(LC_ALL=ja_JP.UTF-8 MANROFFSEQ='' MANWIDTH=80 man --warnings -E UTF-8 -l "$file" 2>&1 >/dev/null)
    [ -z "$warnings" ] || fail "man --warnings on $file: $warnings"
  done
done
name=$(LANG=C.UTF-8 LC_ALL=C.UTF-8 MANWIDTH=80 man velmora-search 2>&1 | sed -n '/^NAME/{n;p;q}')
[[ "$name" == *"list every combination"* ]] || fail "man velmora-search shows '$name' under NAME"
name=$(LANG=ja_JP.UTF-8 LC_ALL=ja_JP.UTF-8 MANWIDTH=80 man velmora-search 2>&1 | sed -n '/^名前/{n;p;q}')
[[ "$name" == *"乗数を掛けた八つの値"* ]] || fail "man velmora-search with LANG=ja_JP.UTF-8 shows '$name' under 名前"
echo "installed manual pages: velmora(1) and velmora-search(1) in English and Japanese, no groff warning"
# ---- end of the installed licence, changelog and manual pages ----
# The installed guide as a browser shows it: headless Chromium renders it into a screenshot, which must hold
# the drawn rules of its tables (#9fb3c4, a colour that docs/ja/guide-style.html gives to table borders
# alone), not raw Markdown or a blank page.
rm -f "$top/build/packages/guide.png"
timeout 120 chromium --headless --no-sandbox --disable-gpu --hide-scrollbars --user-data-dir="$work/chromium" \
  --window-size=1000,6000 --screenshot="$top/build/packages/guide.png" "file://$doc/使い方.html" \
  >"$work/chromium.log" 2>&1 || { cat "$work/chromium.log" >&2; fail "headless Chromium could not render the installed guide"; }
rules=$(convert "$top/build/packages/guide.png" -fill black +opaque '#9fb3c4' -fill white -opaque '#9fb3c4' \
  -format '%[fx:round(mean*w*h)]' info:)
[ "$rules" -gt 2000 ] || fail "the rendered guide shows no table rules (build/packages/guide.png)"
echo "installed guide rendered with its tables (build/packages/guide.png, $rules pixels of table rules)"

# The installed window under a display of its own. With the example in its current directory it must come
# up as the one window "velmora", 537 x 406, with no message box before it; Start must fill List1, and Quit
# must end it.
mkdir "$work/xdg"
chmod 700 "$work/xdg"
Xvfb -displayfd 3 -screen 0 640x480x24 -dpi 96 -nolisten tcp -noreset 3>"$work/display" >/dev/null 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || fail "Xvfb did not start"
export DISPLAY=":$(head -n 1 "$work/display")"
(cd "$work/deb-run" && unset WAYLAND_DISPLAY QT_QPA_PLATFORM && XDG_RUNTIME_DIR="$work/xdg" exec /usr/bin/velmora) &
app_pid=$!
window=""
for _ in $(seq 100); do
  window=$(xdotool search --onlyvisible --name '^velmora$' 2>/dev/null || true)
  [ -n "$window" ] && break
  sleep 0.1
done
[ -n "$window" ] || fail "the installed window did not come up"
sleep 0.5
window=$(xdotool search --onlyvisible --name '^velmora$')
[ "$(wc -l <<<"$window")" -eq 1 ] || fail "more than one window came up (a message box on the installed example?)"
info=$(xwininfo -id "$window")
size=$(awk '/^  Width:/ {w = $2} /^  Height:/ {h = $2} END {print w "x" h}' <<<"$info")
[ "$size" = 537x406 ] || fail "the installed window's client area is $size, not 537x406"
x=$(awk '/Absolute upper-left X:/ {print $4}' <<<"$info")
y=$(awk '/Absolute upper-left Y:/ {print $4}' <<<"$info")
shots="$top/build/packages"
import -window root "$work/before-start.png"
xdotool mousemove --window "$window" 500 92 click 1 # Start
sleep 0.7
import -window root "$shots/installed-window.png"
list1="65x340+$((x + 16))+$((y + 48))"
changed=$(compare -metric AE -crop "$list1" "$work/before-start.png" "$shots/installed-window.png" null: 2>&1 || true)
[ "$changed" -gt 200 ] || fail "Start showed no rows in the installed window's List1"
echo "installed window: $size on display $DISPLAY, Start filled List1 (build/packages/installed-window.png)"
xdotool mousemove --window "$window" 500 364 click 1 # Quit
for _ in $(seq 50); do kill -0 "$app_pid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$app_pid" 2>/dev/null && fail "Quit did not end the installed window"
wait "$app_pid" && status=0 || status=$?
app_pid=""
[ "$status" -eq 0 ] || fail "the installed window ended with status $status"
kill "$xvfb_pid"
wait "$xvfb_pid" 2>/dev/null || true
xvfb_pid=""
unset DISPLAY

removed=("${added[@]}")
purge_added || fail "apt-get purge ${added[*]}"
added=()
for name in "${removed[@]}"; do
  is_installed "$name" && fail "$name is still installed after apt-get purge"
done
echo "removed again: ${removed[*]}"

echo "== packages: the Windows zip =="
# The cross build, the cross compiler, wine and the ja_JP.UTF-8 locale come from the Windows part.
[ -f "$top/build-win/CMakeCache.txt" ] || bash "$top/scripts/test-windows.sh"
command -v wine >/dev/null || fail "no wine: run scripts/test-windows.sh first"
export WINEPREFIX="${VELMORA_WINEPREFIX:-$top/build-win/wine-prefix}"
# shellcheck source=wine-env.sh
source "$top/scripts/wine-env.sh"
if wineserver -p 2>/dev/null; then wine_server=1; fi
wine_prefix_prepare
cmake --build "$top/build-win" -j"$jobs" >/dev/null
mkdir -p "$top/build-win/packages"
rm -f "$top/build-win/packages/"*.zip
(cd "$top/build-win" && cpack -G ZIP -B "$top/build-win/packages" >"$work/cpack-zip.log" 2>&1) || { cat "$work/cpack-zip.log" >&2; fail "cpack -G ZIP"; }
zip="$top/build-win/packages/velmora-${version}-windows-x64.zip"
[ -f "$zip" ] || fail "cpack made no $(basename "$zip")"

folder="velmora-$version"
expected=("$folder/" "$folder/velmora-search.exe" "$folder/text-2x.ini" "$folder/使い方.html")
expected+=("$folder/LICENSE.txt")
# The Windows window is part of the zip wherever its sources are part of the project.
[ -d "$top/window/win32" ] && expected+=("$folder/velmora.exe")
LC_ALL=C.UTF-8 unzip -Z1 "$zip" | same_list "the zip's entries" "${expected[@]}"

LC_ALL=C.UTF-8 unzip -q "$zip" -d "$work/zip"
unpacked="$work/zip/$folder"
cmp "$unpacked/text-2x.ini" "$top/examples/text-2x.ini" || fail "the zip's text-2x.ini differs from examples/text-2x.ini"
cmp "$unpacked/使い方.html" "$top/build-win/使い方.html" || fail "the zip's guide differs from build-win/使い方.html"
check_guide_page "$unpacked/使い方.html" "the zip's guide"
license="$unpacked/LICENSE.txt"
[ "$(grep -c $'\r$' "$license")" = "$(wc -l <"$license")" ] || fail "not every line of the zip's LICENSE.txt ends in CR LF"
tr -d '\r' <"$license" | cmp - "$top/LICENSE" || fail "the zip's LICENSE.txt is not LICENSE"
# Into a file, not a pipe: the prefix's own background programs, started by the first wine command, would
# hold a pipe open after velmora-search.exe has ended.
(cd "$unpacked" && wine velmora-search.exe --count </dev/null >"$work/wine-count" 2>"$work/wine-stderr") ||
  { cat "$work/wine-stderr" >&2; fail "the unpacked velmora-search.exe --count failed under wine"; }
count=$(tr -d '\r' <"$work/wine-count")
[ "$count" = 23 ] || fail "the unpacked velmora-search.exe --count printed '$count' under wine, not 23"
echo "unpacked velmora-search.exe --count under wine, code page 932: $count"

echo "== packages: sizes =="
for f in "$deb" "$zip"; do
  echo "$(stat -c %s "$f") bytes  $(basename "$f")"
done
echo "building and checking the packages took $((SECONDS - start)) s"
