#!/usr/bin/env bash
# A longer libFuzzer run of the INI fuzz target than the test suite's (which, built with
# g++, feeds it from a seeded driver): configures a clang build in BUILD (once), builds the
# target and runs it. Needs clang and libclang-rt-14-dev, which the tests do not.
# Usage: tests/fuzz/run_fuzz.sh [build-folder] [seconds]   (defaults: /tmp/tovanik-fuzz, 300)
# Exits non-zero when the fuzzer finds a failure; the input is left in the build folder as
# crash-*, and replays with `BUILD/tests/ini_fuzz crash-...`.
set -euo pipefail

repo="$(cd "$(dirname "$0")/../.." && pwd)"
build="${1:-/tmp/tovanik-fuzz}"
seconds="${2:-300}"

if ! command -v clang++ >/dev/null; then
  echo "run_fuzz.sh needs clang with libFuzzer: apt-get install clang libclang-rt-14-dev" >&2
  exit 2
fi
CXX=clang++ cmake -S "$repo" -B "$build" -DCMAKE_BUILD_TYPE=Debug -DTOVANIK_SANITIZE=ON >/dev/null
cmake --build "$build" -j"$(nproc)" --target ini_fuzz
mkdir -p "$build/corpus"
cd "$build"
tests/ini_fuzz -max_len=4096 -max_total_time="$seconds" -dict="$repo/tests/fuzz/ini.dict" \
  -print_final_stats=1 corpus
