#!/usr/bin/env bash
# Usage: packaging/clear-old-cache.sh BUILD_DIR...
# The presets build with Ninja. A build folder that an older checkout configured for Unix
# Makefiles cannot be configured again with another generator, so its cache is removed
# and the folder is built afresh; a folder already built with Ninja is left alone.
set -euo pipefail
for dir; do
  cache=$dir/CMakeCache.txt
  if [[ -f "$cache" ]] && ! grep -qx 'CMAKE_GENERATOR:INTERNAL=Ninja' "$cache"; then
    rm -rf "$cache" "$dir/CMakeFiles"
  fi
done
