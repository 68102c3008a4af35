#!/usr/bin/env bash
# Builds the INI fuzz target with libFuzzer and runs it.
# Usage: tests/fuzz/run_fuzz.sh [build-folder] [seconds]   (defaults: /tmp/tovanik-fuzz, 30)
# Exits non-zero when the build fails or the fuzzer finds a crash; the crashing input is
# left in the build folder as crash-*.
set -euo pipefail

repo="$(cd "$(dirname "$0")/../.." && pwd)"
build="${1:-/tmp/tovanik-fuzz}"
seconds="${2:-30}"
mkdir -p "$build/corpus"

clang++ -std=c++20 -g -O1 -Wall -Wextra -Wpedantic -fsanitize=fuzzer,address,undefined \
  -fno-sanitize-recover=undefined -I"$repo" \
  "$repo/tests/fuzz/ini_fuzz.cpp" "$repo/settings/ini.cpp" "$repo/settings/atomic_file.cpp" \
  -o "$build/ini_fuzz"

# The grammar's tokens, so that mutations build headers and key lines quickly.
cat > "$build/ini.dict" <<'DICT'
"\x0d\x0a"
"\x0d"
"\x0a"
"["
"]"
"="
"[config]"
"\x0d\x0a[Config]\x0d\x0a"
"\x0d\x0a\x0d\x0a\x0d\x0a"
"\\"
DICT

cd "$build"
./ini_fuzz -max_len=4096 -max_total_time="$seconds" -dict=ini.dict -print_final_stats=1 corpus
