#!/usr/bin/env bash
# Checks the real window programs from outside, under Xvfb, through the same steps: a missing settings
# file shows its message before the window; on the bundled example the client area is 537 x 406, Start
# fills the lists, Start again makes them scroll, Reset empties them, and Quit ends the program; an
# overflow during Start is reported and the program goes on with its rows; the rows leave the window by
# Ctrl+C, by the lists' context menu (copy all, save as CSV) and by nothing else. A second process reads
# the running window as a screen reader does: every list's name, and (Win32) that no button keeps the
# default-button style once a click has put the focus into a list. Each BUILD folder holds one
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
dbus_pid=""
cleanup() {
  [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null || true
  [ -n "$dbus_pid" ] && kill "$dbus_pid" 2>/dev/null || true
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

# Prints what a second process reads of the running window: "focus NAME", "button NAME STYLE" and
# "list NAME ACCESSIBLE-NAME" lines from the Win32 probe; the lists' names alone, one a line, over AT-SPI.
read_window() {
  if [ "$kind" = win32 ]; then
    wine "$probe" 2>>"$workdir/wine.log" </dev/null | tr -d '\r'
  else
    # The accessibility bus starts on the first request, and the window joins it a moment later.
    for _ in $(seq 20); do
      timeout 30 /usr/bin/python3 "$top/tests/window/atspi_list_names.py" 2>/dev/null && return 0
      sleep 0.5
    done
    return 1
  fi
}
# The accessible names the lists carry, one a line.
list_names() { if [ "$kind" = win32 ]; then read_window | sed -n 's/^list List[1-9] \?//p'; else read_window; fi; }

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
# velmora-search of the same BUILD, which writes what the window's copies and saves must hold.
search_cli() {
  if [ "$kind" = win32 ]; then wine "$build/velmora-search.exe" "$@" 2>>"$workdir/wine.log"; else "$build/velmora-search" "$@"; fi
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

step_export() {
  echo "-- $name: copy and save the rows"
  launch "$top/examples"
  window=$(wait_windows) || fail "no window"
  find_client
  xdotool windowfocus --sync "$window" 2>/dev/null || true
  sleep 0.3
  # The clipboard as another program reads it; wine hands CR LF on to X as LF.
  clipboard() { xclip -selection clipboard -o 2>/dev/null | tr -d '\r'; }
  local row1 row3 tab=$'\t'
  row1="1500${tab}0${tab}4${tab}5${tab}1${tab}0${tab}0${tab}0${tab}0"
  row3="1500${tab}3${tab}2${tab}1${tab}4${tab}0${tab}0${tab}0${tab}0"
  printf 'nothing' | xclip -selection clipboard -i
  sleep 0.3
  click 200 55 # List4, its empty first row: Ctrl+C without a selection copies nothing
  xdotool key ctrl+c; sleep 0.5
  [ "$(clipboard)" = nothing ] || fail "Ctrl+C copied '$(clipboard)' from an empty list"
  click 500 92 # Start
  click 200 55 # List4's first row, then down to the third
  xdotool key Down Down; sleep 0.3
  xdotool key ctrl+c; sleep 0.7
  [ "$(clipboard)" = "$row3" ] || fail "Ctrl+C on List4's third row copied '$(clipboard)'"
  shot 11-before-menu
  xdotool mousemove --window "$window" $((200 + ox)) $((57 + oy)) click 3; sleep 1
  shot 12-list-menu
  [ "$(differing 11-before-menu 12-list-menu "120x60+$((x + ox + 206))+$((y + oy + 60))")" -gt 300 ] ||
    fail "no menu on a right-click"
  xdotool key Escape; sleep 0.5
  xdotool key ctrl+Insert; sleep 0.7
  [ "$(clipboard)" = "$row1" ] || fail "the right-click did not select the row under the pointer ('$(clipboard)')"
  xdotool mousemove --window "$window" $((200 + ox)) $((57 + oy)) click 3; sleep 0.7
  xdotool key a; sleep 1 # すべてコピー(&A)
  clipboard >"$workdir/all.txt"
  (cd "$top/examples" && search_cli --header) | tr -d '\r' | cmp -s - "$workdir/all.txt" ||
    fail "すべてコピー copied $(wc -l <"$workdir/all.txt") lines unlike velmora-search --header"
  mkdir -p "$workdir/saved"
  local target="$workdir/saved/rows.csv" typed
  typed=$target
  [ "$kind" = win32 ] && typed="Z:${target//\//\\}"
  xdotool mousemove --window "$window" $((200 + ox)) $((57 + oy)) click 3; sleep 0.7
  xdotool key s; sleep 2 # CSV で保存(&S)…: the save dialog comes up with its name field chosen
  shot 13-save-dialog
  xdotool key ctrl+a; xdotool type --delay 20 "$typed"; xdotool key Return
  for _ in $(seq 50); do [ -s "$target" ] && break; sleep 0.1; done
  sleep 0.5
  (cd "$top/examples" && search_cli --csv) | cmp -s - "$target" || fail "the saved file differs from velmora-search --csv"
  [ "$(ls -A "$workdir/saved")" = rows.csv ] || fail "saving left more than the file: $(ls -A "$workdir/saved")"
  click 500 364 # Quit
  wait_end "Quit did not end the program after saving"
}

# ---------------------------------------------------------------------------------------------------------
# The window's habits, as on the target desktop: a long heading shows only its first lines; Alt with a
# label's marked character moves the focus on, and every mark is underlined; Enter clicks a focused button,
# and Escape and Enter elsewhere do nothing; the focus shows from the first showing, an empty list's too;
# the load-failure message stands alone in the middle of the screen and offers no minimise button.
#   window_habits TAG     for the program of the current BUILD; screenshots go to $shots/habits-TAG-*.png
window_habits() {
  local tag=$1 dir="$workdir/habits-$1" win x y
  mkdir -p "$dir"
  # Settings with the headings given (UTF-8 here, code page 932 in the file), weights 1, ranges 0..1.
  habits_settings() {
    local target=$1; shift
    { printf '%s\r\n' "$target"; printf '%s\r\n' "$@"; printf '1\r\n%.0s' 1 2 3 4 5 6 7 8
      printf '0\r\n1\r\n%.0s' 1 2 3 4 5 6 7 8; } | iconv -f UTF-8 -t CP932 >"$dir/text-2x.ini"
  }
  habits_start() {
    launch "$dir"
    win=$(wait_windows) || fail "$tag: no window"
    window=$win
    find_client
    x=$((x + ox)); y=$((y + oy))
    # Without a window manager wine sends keys to the window under the pointer: rest it on the background.
    [ "$kind" = win32 ] && xdotool mousemove --window "$win" $((ox + 300)) $((oy + 396))
    xdotool windowfocus --sync "$win" 2>/dev/null || true
    sleep 0.4
  }
  habits_stop() { kill "$app_pid" 2>/dev/null || true; wait "$app_pid" 2>/dev/null || true; app_pid=""; }
  habits_shot() { import -window root "$shots/habits-$tag-$1.png"; }
  # Pixels that differ between habits_region $3 (WxH+X+Y in client coordinates) of screenshots $1 and $2.
  habits_region() { local w h cx cy; IFS='x+' read -r w h cx cy <<<"$1"; echo "${w}x${h}+$((x + cx))+$((y + cy))"; }
  habits_diff() { compare -metric AE -crop "$(habits_region "$3")" "$shots/habits-$tag-$1.png" "$shots/habits-$tag-$2.png" null: 2>&1 || true; }
  # Pixels that differ between two regions of one screenshot.
  habits_diff_regions() {
    local a="$dir/a.png" b="$dir/b.png"
    convert "$shots/habits-$tag-$1.png" -crop "$(habits_region "$2")" +repage "$a"
    convert "$shots/habits-$tag-$1.png" -crop "$(habits_region "$3")" +repage "$b"
    compare -metric AE "$a" "$b" null: 2>&1 || true
  }
  # Client coordinates (find_client sets its own list1 in screen coordinates).
  local in_list1="65x340+16+48" in_list2="41x340+88+48" start_button="57x41+472+72"

  echo "-- $tag: long headings show only their first lines"
  # One start per heading: Label2 .. Label9 hold its last eight prefixes, the whole heading last. The
  # whole heading's box must show what one of its shorter prefixes shows, and nothing may land between
  # the labels.
  habits_settings 0 "" "" "" "" "" "" "" ""
  habits_start; habits_shot 01-no-headings; habits_stop
  local heading n first k matched
  for heading in "さくらんぼ" "パイナップル" "Apple pie" "12345678"; do
    # Characters, not bytes, counted in a UTF-8 locale of their own: the programs keep theirs (under wine
    # it gives the code page).
    n=$(LC_ALL=C.UTF-8 bash -c 'echo ${#1}' _ "$heading")
    first=$((n > 8 ? n - 7 : 1))
    local prefixes=()
    for ((k = first; k <= n; k++)); do
      prefixes+=("$(LC_ALL=C.UTF-8 bash -c 'echo "${1:0:$2}"' _ "$heading" "$k")")
    done
    while [ ${#prefixes[@]} -lt 8 ]; do prefixes+=(""); done
    habits_settings 0 "${prefixes[@]}"
    habits_start; habits_shot "02-long-$n"; habits_stop
    local whole="17x41+$((104 + 48 * (n - first)))+8"
    [ "$(habits_diff 01-no-headings "02-long-$n" "$whole")" -gt 20 ] || fail "$tag: heading '$heading' is not shown"
    matched=""
    for ((k = 0; k < n - first; k++)); do
      [ "$(habits_diff_regions "02-long-$n" "17x41+$((104 + 48 * k))+8" "$whole")" -eq 0 ] && matched=1
    done
    [ -n "$matched" ] || fail "$tag: heading '$heading' shows more than the first lines that fit"
    for ((k = 0; k < 8; k++)); do
      [ "$(habits_diff 01-no-headings "02-long-$n" "31x48+$((121 + 48 * k))+0")" -eq 0 ] || fail "$tag: heading '$heading' spills out of its label"
    done
  done

  echo "-- $tag: access keys, Enter and Escape, the focus shown"
  # Label2 "&Apple" (Alt+A), Label3 "&a&b" beside Label4 "&ab": every mark underlined.
  habits_settings 2 "&Apple" "&a&b" "&ab" "" "" "" "" ""
  habits_start; habits_shot 04-keys-start
  [ "$(habits_diff_regions 04-keys-start "17x41+152+8" "17x41+200+8")" -gt 0 ] || fail "$tag: in '&a&b' only the first mark is underlined"
  xdotool key Tab; sleep 0.3; habits_shot 05-focus-on-quit
  [ "$(habits_diff 04-keys-start 05-focus-on-quit "$start_button")" -gt 0 ] || fail "$tag: Start shows no focus at the first showing"
  # Tabbed to, Quit looks like the default; a click into List1 takes the focus and the look with it.
  [ "$kind" != win32 ] || read_window | grep -qx 'button Command2 BS_DEFPUSHBUTTON' || fail "$tag: Tab gave Quit no default look"
  xdotool mousemove --window "$win" $((ox + 40)) $((oy + 300)) click 1; sleep 0.5; habits_shot 06-focus-on-list1
  [ "$(habits_diff 05-focus-on-quit 06-focus-on-list1 "$in_list1")" -gt 0 ] || fail "$tag: the empty List1 shows no focus"
  local seen; seen=$(read_window) || fail "$tag: a second process cannot read the window"
  echo "$seen" >"$shots/habits-$tag-06-read-from-outside.txt"
  if [ "$kind" = win32 ]; then
    grep -qx 'focus List1' <<<"$seen" || fail "$tag: the click left the focus elsewhere: $(head -n 1 <<<"$seen")"
    ! grep -q 'BS_DEFPUSHBUTTON' <<<"$seen" || fail "$tag: a button keeps the default look with the focus in a list"
  fi
  [ "$(list_names | tr '\n' '|')" = "合計|Apple|ab|ab||||||" ] || fail "$tag: the lists' names are $(list_names | tr '\n' '|')"
  xdotool key alt+a; sleep 0.3; habits_shot 07-after-alt-a
  [ "$(habits_diff 06-focus-on-list1 07-after-alt-a "$in_list2")" -gt 0 ] || fail "$tag: Alt+A did not move the focus to List2"
  [ "$(habits_diff 06-focus-on-list1 07-after-alt-a "$in_list1")" -gt 0 ] || fail "$tag: Alt+A left the focus on List1"
  xdotool key Return Escape; sleep 0.5; habits_shot 08-enter-in-list
  [ "$(habits_diff 07-after-alt-a 08-enter-in-list "$in_list1")" -eq 0 ] || fail "$tag: Enter or Escape in a list did something"
  kill -0 "$app_pid" 2>/dev/null || fail "$tag: Escape ended the program"
  xdotool key shift+Tab shift+Tab shift+Tab; sleep 0.3 # List2 -> List1 -> Command2 -> Command1
  xdotool key Return; sleep 0.7; habits_shot 09-enter-on-start
  [ "$(habits_diff 08-enter-in-list 09-enter-on-start "$in_list1")" -gt 50 ] || fail "$tag: Enter on Start showed no rows"
  xdotool key shift+Tab KP_Enter; sleep 0.5; habits_shot 10-keypad-enter-on-reset # Command1 -> Command3
  [ "$(habits_diff 04-keys-start 10-keypad-enter-on-reset "$in_list1")" -eq 0 ] || fail "$tag: keypad Enter on Reset left rows"
  habits_stop

  echo "-- $tag: the load-failure message"
  rm -f "$dir/text-2x.ini"
  launch "$dir"
  local box info bx by bw bh
  box=$(wait_windows) || fail "$tag: no message box"
  sleep 0.3
  habits_shot 11-load-message
  info=$(xwininfo -id "$box")
  bx=$(awk '/Absolute upper-left X:/ {print $4}' <<<"$info"); by=$(awk '/Absolute upper-left Y:/ {print $4}' <<<"$info")
  bw=$(awk '/^  Width:/ {print $2}' <<<"$info"); bh=$(awk '/^  Height:/ {print $2}' <<<"$info")
  local screen_w screen_h
  read -r screen_w screen_h < <(xdpyinfo | awk '/dimensions:/ {split($2, d, "x"); print d[1], d[2]}')
  local dx=$((2 * bx + bw - screen_w)) dy=$((2 * by + bh - screen_h))
  [ "${dx#-}" -le 2 ] && [ "${dy#-}" -le 2 ] || fail "$tag: the message stands at $bx,$by (${bw}x$bh), not in the middle of ${screen_w}x$screen_h"
  if [ "$kind" = qt ]; then
    # _MOTIF_WM_HINTS: flags, functions, decorations; minimise is function 0x8, decoration 0x20. (wine
    # draws the message box's frame itself, from the system's message box, which has no minimise button.)
    local hints; hints=$(xprop -id "$box" _MOTIF_WM_HINTS | sed 's/.*= //; s/,//g')
    read -r _ functions decorations _ <<<"$hints"
    [ -n "$functions" ] && (( (functions & 0x8) == 0 && (decorations & 0x20) == 0 )) || fail "$tag: the message offers a minimise button ($hints)"
  fi
  dismiss "$box"
  habits_stop
}


for build in "$@"; do
  build=$(cd "$build" && pwd)
  if [ -f "$build/velmora.exe" ]; then
    kind=win32; program="$build/velmora.exe"; probe="$build/velmora-window-probe.exe"

    export WINEPREFIX="${VELMORA_WINEPREFIX:-$build/wine-prefix}"
    # shellcheck source=../../scripts/wine-env.sh
    source "$top/scripts/wine-env.sh"
    wineserver -p 2>/dev/null && wine_server=1
    wine_prefix_prepare
  else
    kind=qt; program="$build/velmora"
    if [ -z "$dbus_pid" ]; then
      # A D-Bus session of our own, in which the Qt window offers its controls over AT-SPI to be read.
      eval "$(dbus-launch --sh-syntax)"
      dbus_pid=$DBUS_SESSION_BUS_PID
      export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
    fi
  fi
  [ -x "$program" ] || [ "$kind" = win32 ] || fail "no program in $build"
  name=$(basename "$program")
  shots="$build/screenshots/$name"
  mkdir -p "$shots"
  rm -f "$shots"/*.png
  step_missing_file
  step_example
  step_overflow
  step_export
  window_habits "$kind"
  if [ -n "$wine_server" ]; then wineserver -k 2>/dev/null || true; wine_server=""; fi
  echo "xvfb_check: $name ok; screenshots in $shots"
done
