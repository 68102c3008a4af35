#!/usr/bin/env bash
# Lays out a ready program folder from a build folder: the install step of the build does it
# (see the install() lines in CMakeLists.txt and packaging/program_folder.cmake).
# Usage: packaging/layout.sh BUILD_DIR DEST
set -euo pipefail
cmake --install "$1" --prefix "$2"
