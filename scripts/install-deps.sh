#!/usr/bin/env bash
# Installs, with apt-get, the Debian 12 packages that a purpose needs, only where they are missing.
#   install-deps.sh build    compiler, CMake, GoogleTest, Google Benchmark, clang for the fuzzer
#   install-deps.sh window   Qt 6 Widgets, a Japanese font, Xvfb and the tools of the window check (with
#                            D-Bus and AT-SPI, through which it reads the window as a screen reader does)
#   install-deps.sh package  dpkg-shlibdeps for the Debian package, unzip for checking the Windows zip
set -euo pipefail

packages=()
for purpose in "$@"; do
  case "$purpose" in
    package) packages+=(dpkg-dev unzip) ;;
    build) packages+=(g++ cmake make libgtest-dev libbenchmark-dev clang libclang-rt-14-dev) ;;
    window) packages+=(qt6-base-dev qt6-base-private-dev libgl-dev fonts-ipafont-gothic xvfb xdotool imagemagick x11-utils
      dbus-x11 at-spi2-core python3-pyatspi) ;;
    *) echo "install-deps.sh: unknown purpose '$purpose'" >&2; exit 2 ;;
  esac
done

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "installing: ${missing[*]}" >&2
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
