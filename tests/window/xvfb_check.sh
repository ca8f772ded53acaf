#!/usr/bin/env bash
# Checks the real window under Xvfb: a missing settings file shows its message before the window; on the
# bundled example the client area is 537 x 406, Start fills the lists, Reset empties them, resizing moves
# nothing, and Quit ends the program; an overflow during Start is reported and the program goes on.
# Screenshots go to BUILD/screenshots/ (look at them after a change). Xvfb runs with -noreset: without it
# the server resets when its last client leaves, and the next program may find no display for a moment.
#   xvfb_check.sh [BUILD]     BUILD defaults to ./build of the project
set -euo pipefail
top=$(cd "$(dirname "$0")/../.." && pwd)
build=$(cd "${1:-$top/build}" && pwd)
program="$build/velmora"
shots="$build/screenshots"
mkdir -p "$shots"
rm -f "$shots"/*.png

fail() { echo "xvfb_check: FAIL: $*" >&2; exit 1; }

display=""
for n in $(seq 71 99); do
  if [ ! -e "/tmp/.X11-unix/X$n" ] && [ ! -e "/tmp/.X$n-lock" ]; then display=":$n"; break; fi
done
[ -n "$display" ] || fail "no free display number"
Xvfb "$display" -screen 0 640x480x24 -dpi 96 -nolisten tcp -noreset >/dev/null 2>&1 &
xvfb_pid=$!
app_pid=""
workdir=$(mktemp -d)
cleanup() {
  [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null || true
  kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$workdir"
}
trap cleanup EXIT
export DISPLAY="$display"
export XDG_RUNTIME_DIR="$workdir"
unset WAYLAND_DISPLAY QT_QPA_PLATFORM
for _ in $(seq 50); do xdpyinfo >/dev/null 2>&1 && break; sleep 0.1; done
xdpyinfo >/dev/null 2>&1 || fail "Xvfb did not start"

# Waits for a visible window with the title velmora and prints its ids.
wait_windows() {
  local ids=""
  for _ in $(seq 100); do
    ids=$(xdotool search --onlyvisible --name '^velmora$' 2>/dev/null || true)
    [ -n "$ids" ] && { echo "$ids"; return 0; }
    sleep 0.1
  done
  return 1
}
shot() { import -window root "$shots/$1.png"; }
# Pixels that differ between the same region of two screenshots.
differing() { compare -metric AE -crop "$3" "$shots/$1.png" "$shots/$2.png" null: 2>&1 || true; }

echo "-- missing settings file"
mkdir "$workdir/empty"
(cd "$workdir/empty" && exec "$program") &
app_pid=$!
box=$(wait_windows) || fail "no message box"
[ "$(echo "$box" | wc -l)" -eq 1 ] || fail "more than the message box is shown before it is dismissed"
sleep 0.3
shot 01-missing-file-message
xdotool windowfocus --sync "$box" key Return
sleep 0.5
window=$(wait_windows) || fail "no window after the message"
[ "$window" != "$box" ] || fail "the message box is still shown"
shot 02-missing-file-window
kill "$app_pid"; wait "$app_pid" 2>/dev/null || true; app_pid=""

echo "-- the bundled example"
(cd "$top/examples" && exec "$program") &
app_pid=$!
window=$(wait_windows) || fail "no window"
[ "$(echo "$window" | wc -l)" -eq 1 ] || fail "a message box came up with the example"
info=$(xwininfo -id "$window")
width=$(awk '/^  Width:/ {print $2}' <<<"$info")
height=$(awk '/^  Height:/ {print $2}' <<<"$info")
x=$(awk '/Absolute upper-left X:/ {print $4}' <<<"$info")
y=$(awk '/Absolute upper-left Y:/ {print $4}' <<<"$info")
[ "$width" = 537 ] && [ "$height" = 406 ] || fail "client area is ${width}x${height}, not 537x406"
echo "client area ${width}x${height} at $x,$y"
list1="65x340+$((x + 16))+$((y + 48))"
buttons="57x313+$((x + 472))+$((y + 72))"
xdotool windowfocus --sync "$window" # no window manager here: give the window the keyboard
sleep 0.3
shot 03-started

click() { xdotool mousemove --window "$window" "$1" "$2" click 1; sleep 0.7; }
click 500 92 # Start
shot 04-after-start
[ "$(differing 03-started 04-after-start "$list1")" -gt 200 ] || fail "Start showed no rows in List1"
[ "$(xdotool search --onlyvisible --name '^velmora$' | wc -l)" -eq 1 ] || fail "a message box came up on Start"
click 500 92 # Start again: twice the rows, more than fit, so the lists show scroll bars
shot 05-after-second-start
[ "$(differing 04-after-start 05-after-second-start "$list1")" -gt 20 ] || fail "no scroll bar after Start twice"

xdotool windowsize "$window" 620 470
sleep 0.7
shot 06-enlarged
[ "$(differing 05-after-second-start 06-enlarged "$list1")" -eq 0 ] || fail "enlarging the window changed List1"
[ "$(differing 05-after-second-start 06-enlarged "$buttons")" -eq 0 ] || fail "enlarging the window moved the buttons"
xdotool windowsize "$window" 537 406
sleep 0.3

click 500 204 # Reset
shot 07-after-reset
[ "$(differing 03-started 07-after-reset "$list1")" -eq 0 ] || fail "Reset left rows in List1"

click 500 364 # Quit
for _ in $(seq 50); do kill -0 "$app_pid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$app_pid" 2>/dev/null && fail "Quit did not end the program"
wait "$app_pid" && status=0 || status=$?
app_pid=""
[ "$status" -eq 0 ] || fail "the program ended with status $status"
echo "-- overflow during Start"
mkdir "$workdir/overflow"
# Term 2 over 0..2 with weight 2^30, term 1 over 0..2: three rows, then the product overflows.
{
  printf '0\r\n'; printf 'h%s\r\n' 1 2 3 4 5 6 7 8
  printf '%s\r\n' 0 1073741824 0 0 0 0 0 0
  printf '%s\r\n' 0 2 0 2 0 0 0 0 0 0 0 0 0 0 0 0
} >"$workdir/overflow/text-2x.ini"
(cd "$workdir/overflow" && exec "$program") &
app_pid=$!
window=$(wait_windows) || fail "no window"
sleep 0.3
shot 08-overflow-before
click 500 92 # Start
box=$(xdotool search --onlyvisible --name '^velmora$' | grep -v "^$window\$" || true)
[ -n "$box" ] || fail "no report of the overflow"
shot 09-overflow-message
xdotool windowfocus --sync "$box" key Return
sleep 0.7
kill -0 "$app_pid" 2>/dev/null || fail "the program ended after the overflow"
[ "$(xdotool search --onlyvisible --name '^velmora$')" = "$window" ] || fail "the report is still shown"
shot 10-overflow-rows-kept
[ "$(differing 08-overflow-before 10-overflow-rows-kept "$list1")" -gt 50 ] || fail "the rows before the overflow are gone"
click 500 364 # Quit
for _ in $(seq 50); do kill -0 "$app_pid" 2>/dev/null || break; sleep 0.1; done
kill -0 "$app_pid" 2>/dev/null && fail "Quit did not end the program after the overflow"
app_pid=""
echo "xvfb_check: ok; screenshots in $shots"
