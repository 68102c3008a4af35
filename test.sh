#!/usr/bin/env bash
# Installs what is missing, builds one debug build with sanitizers and runs every test:
# unit tests, Qt widget tests, real-server tests, the INI fuzzer and the real-display test.
set -euo pipefail
cd "$(dirname "$0")"
packaging/install-deps.sh --test
cmake -S . -B build-test -DCMAKE_BUILD_TYPE=Debug -DTOVANIK_SANITIZE=ON >/dev/null
cmake --build build-test -j"$(nproc)"
cd build-test
ctest --output-on-failure --timeout 600
