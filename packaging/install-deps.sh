#!/usr/bin/env bash
# Installs the Debian 12 packages the panel and its tests need, when missing.
# Usage: packaging/install-deps.sh [--test | --display | --bench]
#   --test adds what only the tests need, --display the virtual display run.sh may need,
#   --bench what bench/run.sh needs
set -euo pipefail

packages=(g++ cmake qt6-base-dev qt6-svg-dev libgl-dev qt6-wayland php-cli xterm xdg-utils fonts-open-sans fonts-dejavu-core)
if [[ "${1:-}" == "--test" ]]; then
  packages+=(libgtest-dev xvfb openbox xdotool
             x11-utils imagemagick curl procps desktop-file-utils weston strace)
fi
if [[ "${1:-}" == "--display" ]]; then
  packages+=(xvfb openbox)
fi
if [[ "${1:-}" == "--bench" ]]; then
  packages+=(xvfb openbox x11-utils procps libxdamage-dev libxtst-dev strace)
fi

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
