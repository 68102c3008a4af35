#!/usr/bin/env bash
# Installs what is missing, builds, lays out the program folder in ./dist and starts the panel.
set -euo pipefail
cd "$(dirname "$0")"
packaging/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DTOVANIK_TESTS=OFF >/dev/null
cmake --build build -j"$(nproc)"
packaging/layout.sh build dist
echo "Program folder: $PWD/dist"

if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" ]]; then
  # No desktop to show the window on: give it a virtual one.
  packaging/install-deps.sh --test
  display=:$((90 + RANDOM % 9))
  Xvfb "$display" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
  export DISPLAY=$display
  sleep 1
  openbox >/dev/null 2>&1 &
  echo "No display was set: the panel runs on the virtual display $DISPLAY."
fi
exec dist/tovanik-webserver
