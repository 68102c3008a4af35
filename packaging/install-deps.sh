#!/usr/bin/env bash
# Installs the Debian 12 packages the panel and its tests need, when missing.
# Usage: packaging/install-deps.sh [--test] [--display] [--bench] [--windows]
#   --test adds what only the tests need, --display the virtual display run.sh may need,
#   --bench what bench/run.sh needs, --windows the Windows build (mingw-w64, GoogleTest's
#   sources) and Wine to run its programs and tests
set -euo pipefail

packages=(g++ cmake ninja-build qt6-base-dev qt6-svg-dev libgl-dev qt6-wayland php-cli xterm xdg-utils fonts-open-sans fonts-dejavu-core)
for option in "$@"; do
  case "$option" in
    --test)
      packages+=(libgtest-dev xvfb openbox xdotool
                 x11-utils imagemagick curl procps desktop-file-utils weston strace dex
                 dbus-daemon at-spi2-core python3-pyatspi) ;;
    --display)
      packages+=(xvfb openbox) ;;
    --bench)
      packages+=(xvfb openbox x11-utils procps libxdamage-dev libxtst-dev strace) ;;
    --windows)
      packages+=(g++-mingw-w64-x86-64-posix googletest wine wine64 fonts-wine) ;;
    *)
      echo "usage: $0 [--test] [--display] [--bench] [--windows]" >&2
      exit 2 ;;
  esac
done

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  SUDO=""
  [[ $(id -u) -eq 0 ]] || SUDO="sudo"
  $SUDO apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
