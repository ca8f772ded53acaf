#!/usr/bin/env bash
# Checks the real window programs from outside, under Xvfb, through the same steps: a missing settings
# file shows its message before the window; on the bundled example the client area is 537 x 406, Start
# fills the lists, Start again makes them scroll, Reset empties them, and Quit ends the program; an
# overflow during Start is reported and the program goes on with its rows. Each BUILD folder holds one
# program: velmora (the Qt window) or velmora.exe (the Win32 window, run under wine with code page 932 in
# the prefix of scripts/wine-env.sh). Screenshots go to BUILD/screenshots/<program>/ (look at them after a
# change). Xvfb runs with -noreset: without it the server resets when its last client leaves, and the next
# program may find no display for a moment.
#   xvfb_check.sh [BUILD ...]     BUILD defaults to ./build of the project
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
[ $# -gt 0 ] || set -- "$top/build"

fail() { echo "xvfb_check: FAIL ($name): $*" >&2; exit 1; }

name="display"
workdir=$(mktemp -d)
xvfb_pid=""
app_pid=""
wine_server=""
cleanup() {
  [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null || true
  [ -n "$wine_server" ] && { wineserver -k 2>/dev/null || true; }
  [ -n "$xvfb_pid" ] && kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$workdir"
}
trap cleanup EXIT
Xvfb -displayfd 3 -screen 0 640x480x24 -dpi 96 -nolisten tcp -noreset 3>"$workdir/display" >/dev/null 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do [ -s "$workdir/display" ] && break; sleep 0.1; done
[ -s "$workdir/display" ] || fail "Xvfb did not start"
export DISPLAY=":$(head -n 1 "$workdir/display")"
export XDG_RUNTIME_DIR="$workdir"
unset WAYLAND_DISPLAY QT_QPA_PLATFORM
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
xdpyinfo >/dev/null 2>&1 || fail "Xvfb did not start"

# Starts the program in folder $1, in the background.
launch() {
  if [ "$kind" = win32 ]; then
    (cd "$1" && exec wine "$program" >>"$workdir/wine.log" 2>&1 </dev/null) &
  else
    (cd "$1" && exec "$program") &
  fi
  app_pid=$!
}
# Waits for visible windows with the title velmora and prints their ids.
wait_windows() {
  local ids=""
  for _ in $(seq 150); do
    ids=$(xdotool search --onlyvisible --name '^velmora$' 2>/dev/null || true)
    [ -n "$ids" ] && { echo "$ids"; return 0; }
    sleep 0.1
  done
  return 1
}
shot() { import -window root "$shots/$1.png"; }
# Pixels that differ between the same region of two screenshots.
differing() { compare -metric AE -crop "$3" "$shots/$1.png" "$shots/$2.png" null: 2>&1 || true; }
geometry() { xwininfo -id "$1" | awk -v key="$2" '$0 ~ key {print $NF}'; }
# Presses Enter in a message box (no window manager: keys go to the window under the pointer).
dismiss() {
  xdotool mousemove --window "$1" 20 20
  xdotool windowfocus --sync "$1" 2>/dev/null || true
  xdotool key Return
  sleep 0.7
}
# Clicks at a point of the window's client area.
click() { xdotool mousemove --window "$window" $(($1 + ox)) $(($2 + oy)) click 1; sleep 0.7; }
wait_end() {
  for _ in $(seq 50); do kill -0 "$app_pid" 2>/dev/null || break; sleep 0.1; done
  kill -0 "$app_pid" 2>/dev/null && fail "$1"
  wait "$app_pid" && status=0 || status=$?
  app_pid=""
  [ "$status" -eq 0 ] || fail "the program ended with status $status"
}
# Finds the client area inside the window: Qt's X window is the client area itself; wine draws its own
# frame (no window manager here), a border of equal width on three sides and the title bar above.
find_client() {
  width=$(geometry "$window" '^  Width:')
  height=$(geometry "$window" '^  Height:')
  x=$(geometry "$window" 'Absolute upper-left X:')
  y=$(geometry "$window" 'Absolute upper-left Y:')
  ox=0; oy=0
  if [ "$kind" = win32 ]; then
    ox=$(((width - 537) / 2)); oy=$((height - 406 - ox))
    [ $((width - 537)) -eq $((2 * ox)) ] && [ "$ox" -le 8 ] && [ "$oy" -ge 15 ] && [ "$oy" -le 40 ] ||
      fail "a frame of ${width}x${height} holds no client area of 537x406"
  else
    [ "$width" = 537 ] && [ "$height" = 406 ] || fail "client area is ${width}x${height}, not 537x406"
  fi
  list1="65x340+$((x + ox + 16))+$((y + oy + 48))"
  buttons="57x313+$((x + ox + 472))+$((y + oy + 72))"
}

step_missing_file() {
  echo "-- $name: missing settings file"
  mkdir -p "$workdir/empty"
  launch "$workdir/empty"
  box=$(wait_windows) || fail "no message box"
  [ "$(echo "$box" | wc -l)" -eq 1 ] || fail "more than the message box is shown before it is dismissed"
  sleep 0.3
  shot 01-missing-file-message
  if [ "$kind" = win32 ]; then
    # Shown before the window, the box stands in the middle of the screen, not at the window's corner.
    local cx=$(($(geometry "$box" 'Absolute upper-left X:') + $(geometry "$box" '^  Width:') / 2))
    local cy=$(($(geometry "$box" 'Absolute upper-left Y:') + $(geometry "$box" '^  Height:') / 2))
    [ $((cx - 320)) -ge -20 ] && [ $((cx - 320)) -le 20 ] && [ $((cy - 240)) -ge -20 ] && [ $((cy - 240)) -le 20 ] ||
      fail "the message box is centred at $cx,$cy, not on the screen's centre 320,240"
  fi
  dismiss "$box"
  window=$(wait_windows) || fail "no window after the message"
  [ "$window" != "$box" ] || fail "the message box is still shown"
  shot 02-missing-file-window
  kill "$app_pid"; wait "$app_pid" 2>/dev/null || true; app_pid=""
}

step_example() {
  echo "-- $name: the bundled example"
  local started=$(date +%s%N)
  launch "$top/examples"
  window=$(wait_windows) || fail "no window"
  echo "start-up to the first window: $((($(date +%s%N) - started) / 1000000)) ms"
  [ "$(echo "$window" | wc -l)" -eq 1 ] || fail "a message box came up with the example"
  find_client
  echo "window ${width}x${height} at $x,$y, client area at +$ox+$oy"
  xdotool windowfocus --sync "$window" 2>/dev/null || true # no window manager: give the window the keyboard
  sleep 0.3
  shot 03-started

  click 500 92 # Start
  shot 04-after-start
  [ "$(differing 03-started 04-after-start "$list1")" -gt 200 ] || fail "Start showed no rows in List1"
  [ "$(xdotool search --onlyvisible --name '^velmora$' | wc -l)" -eq 1 ] || fail "a message box came up on Start"
  click 500 92 # Start again: twice the rows, more than fit, so the lists show scroll bars
  shot 05-after-second-start
  [ "$(differing 04-after-start 05-after-second-start "$list1")" -gt 20 ] || fail "no scroll bar after Start twice"

  if [ "$kind" = qt ]; then
    # Without a window manager only the Qt window follows a size set from outside.
    xdotool windowsize "$window" 620 470
    sleep 0.7
    shot 06-enlarged
    [ "$(differing 05-after-second-start 06-enlarged "$list1")" -eq 0 ] || fail "enlarging the window changed List1"
    [ "$(differing 05-after-second-start 06-enlarged "$buttons")" -eq 0 ] || fail "enlarging the window moved the buttons"
    xdotool windowsize "$window" 537 406
    sleep 0.3
  fi

  click 500 204 # Reset
  shot 07-after-reset
  [ "$(differing 03-started 07-after-reset "$list1")" -eq 0 ] || fail "Reset left rows in List1"

  click 500 364 # Quit
  wait_end "Quit did not end the program"
}

step_overflow() {
  echo "-- $name: overflow during Start"
  mkdir -p "$workdir/overflow"
  # Term 2 over 0..2 with weight 2^30, term 1 over 0..2: three rows, then the product overflows.
  {
    printf '0\r\n'; printf 'h%s\r\n' 1 2 3 4 5 6 7 8
    printf '%s\r\n' 0 1073741824 0 0 0 0 0 0
    printf '%s\r\n' 0 2 0 2 0 0 0 0 0 0 0 0 0 0 0 0
  } >"$workdir/overflow/text-2x.ini"
  launch "$workdir/overflow"
  window=$(wait_windows) || fail "no window"
  find_client
  sleep 0.3
  shot 08-overflow-before
  click 500 92 # Start
  box=$(xdotool search --onlyvisible --name '^velmora$' | grep -v "^$window\$" || true)
  [ -n "$box" ] || fail "no report of the overflow"
  shot 09-overflow-message
  dismiss "$box"
  kill -0 "$app_pid" 2>/dev/null || fail "the program ended after the overflow"
  [ "$(xdotool search --onlyvisible --name '^velmora$')" = "$window" ] || fail "the report is still shown"
  shot 10-overflow-rows-kept
  [ "$(differing 08-overflow-before 10-overflow-rows-kept "$list1")" -gt 50 ] || fail "the rows before the overflow are gone"
  click 500 364 # Quit
  wait_end "Quit did not end the program after the overflow"
}

for build in "$@"; do
  build=$(cd "$build" && pwd)
  if [ -f "$build/velmora.exe" ]; then
    kind=win32; program="$build/velmora.exe"
    export WINEPREFIX="${VELMORA_WINEPREFIX:-$build/wine-prefix}"
    # shellcheck source=../../scripts/wine-env.sh
    source "$top/scripts/wine-env.sh"
    wineserver -p 2>/dev/null && wine_server=1
    wine_prefix_prepare
  else
    kind=qt; program="$build/velmora"
  fi
  [ -x "$program" ] || [ "$kind" = win32 ] || fail "no program in $build"
  name=$(basename "$program")
  shots="$build/screenshots/$name"
  mkdir -p "$shots"
  rm -f "$shots"/*.png
  step_missing_file
  step_example
  step_overflow
  if [ -n "$wine_server" ]; then wineserver -k 2>/dev/null || true; wine_server=""; fi
  echo "xvfb_check: $name ok; screenshots in $shots"
done
