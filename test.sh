#!/usr/bin/env bash
# Installs what is missing and runs every test, in two legs.
# Linux: one debug build with sanitizers and warnings as errors (preset linux-test); unit
# tests, Qt widget tests, real-server tests, the INI fuzzer and the real-display tests.
# Windows: the same tree cross-built with mingw-w64 (CMakePresets.json, preset "windows"),
# its tests run under Wine: the shared unit suites, the Windows backend's and tovanikctl's
# tests with a stand-in server, the zip, and the zip's panel on a virtual display.
set -euo pipefail
cd "$(dirname "$0")"
packaging/install-deps.sh --test --windows
packaging/clear-old-cache.sh build-test build-windows
cmake --preset linux-test >/dev/null
cmake --build --preset linux-test
ctest --preset linux-test

# Wine's server of the build folder's prefix ends with the leg, whatever the outcome.
trap 'WINEPREFIX="$PWD/build-windows/wine-prefix" wineserver -k 2>/dev/null || true' EXIT
cmake --preset windows >/dev/null
cmake --build --preset windows
ctest --preset windows
