#!/usr/bin/env bash
# Installs, with apt-get, the Debian 12 packages that a purpose needs, only where they are missing.
#   install-deps.sh build    compiler, CMake, GoogleTest, Google Benchmark, clang for the fuzzer, gettext for
#                            velmora-search's translations, and the ja_JP.UTF-8 locale its tests speak in
#   install-deps.sh window   Qt 6 Widgets, a Japanese font, Xvfb and the tools of the window check (with
#                            D-Bus and AT-SPI, through which it reads the window as a screen reader does)
#   install-deps.sh package  dpkg-shlibdeps for the Debian package, unzip for checking the Windows zip;
#                            pandoc for the guide and the manual pages; lintian, desktop-file-validate,
#                            appstreamcli, man and groff (and the Japanese locale's sources) for checking the
#                            package; Chromium for rendering the installed guide
set -euo pipefail

packages=()
for purpose in "$@"; do
  case "$purpose" in
    package) packages+=(dpkg-dev unzip pandoc lintian desktop-file-utils appstream man-db groff locales chromium imagemagick) ;;
    build) packages+=(g++ cmake make libgtest-dev libbenchmark-dev clang libclang-rt-14-dev gettext locales) ;;
    window) packages+=(qt6-base-dev qt6-base-private-dev libgl-dev qt6-translations-l10n fonts-ipafont-gothic xvfb xdotool xclip
      imagemagick x11-utils dbus-x11 at-spi2-core python3-pyatspi) ;;
    *) echo "install-deps.sh: unknown purpose '$purpose'" >&2; exit 2 ;;
  esac
done

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}" >&2
  $sudo apt-get update -qq -o DPkg::Lock::Timeout=600
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq -o DPkg::Lock::Timeout=600 --no-install-recommends "${missing[@]}" >/dev/null
fi

# The tests run velmora-search in a Japanese locale, which must be generated to take effect.
if [[ " $* " == *" build "* ]] && ! locale -a 2>/dev/null | grep -qixE 'ja_JP\.utf-?8'; then
  echo "generating the ja_JP.UTF-8 locale" >&2
  $sudo localedef -i ja_JP -f UTF-8 ja_JP.UTF-8
fi
