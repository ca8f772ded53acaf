# Sourced by the scripts that run velmora's Windows programs under wine: the environment and a prefix set
# up as a Japanese desktop. Needs WINEPREFIX set; makes the prefix on first use.
#   LC_ALL=ja_JP.UTF-8 gives the ANSI code page 932 (the locale must be generated).
#   LogPixels 96: the window's measures are checked at 96 dpi.
#   Font replacements: the faces a Japanese desktop has, taken by the IPA faces (fonts-ipafont-gothic).
#   ShowCrashDialog 0: a crash ends the program instead of waiting on a dialog.
#   Managed N: without a window manager wine takes about 2 s to destroy each top-level window unless it
#   manages the windows itself; it then draws their frames, with marlett.ttf (fonts-wine) for the buttons.
export WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d" # no .NET or browser engine offered, no menus
export LC_ALL=ja_JP.UTF-8

wine_prefix_prepare() {
  mkdir -p "$WINEPREFIX"
  if [ -f "$WINEPREFIX/.velmora-ready" ]; then
    # A ready prefix still starts its background programs with the first wine command of a new server:
    # here, with their output in the file, not in a test's output that ctest would wait on to close.
    wine wineboot >>"$WINEPREFIX/wineboot.log" 2>&1 </dev/null
    return 0
  fi
  # The first wine command in a new prefix leaves programs behind that hold its output open: send it to a
  # file, never to the caller's pipe.
  wineboot -i >"$WINEPREFIX/wineboot.log" 2>&1 </dev/null
  local reg="$WINEPREFIX/velmora.reg"
  printf '%s\r\n' 'Windows Registry Editor Version 5.00' '' \
    '[HKEY_CURRENT_USER\Control Panel\Desktop]' '"LogPixels"=dword:00000060' '' \
    '[HKEY_CURRENT_USER\Software\Wine\Fonts\Replacements]' \
    '"ＭＳ Ｐゴシック"="IPAPGothic"' '"ＭＳ ゴシック"="IPAGothic"' '"MS UI Gothic"="IPAGothic"' \
    '"MS PGothic"="IPAPGothic"' '"MS Gothic"="IPAGothic"' '' \
    '[HKEY_CURRENT_USER\Software\Wine\WineDbg]' '"ShowCrashDialog"=dword:00000000' '' \
    '[HKEY_CURRENT_USER\Software\Wine\X11 Driver]' '"Managed"="N"' '' | iconv -f UTF-8 -t UTF-16LE >"$reg.tmp"
  { printf '\xff\xfe'; cat "$reg.tmp"; } >"$reg"
  rm -f "$reg.tmp"
  wine regedit /S "$reg" >>"$WINEPREFIX/wineboot.log" 2>&1 </dev/null
  mkdir -p "$WINEPREFIX/drive_c/windows/Fonts"
  [ -f /usr/share/wine/fonts/marlett.ttf ] && cp /usr/share/wine/fonts/marlett.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
  touch "$WINEPREFIX/.velmora-ready"
}
