#!/usr/bin/env bash
# Builds bench_presence and compares one presence check with `pgrep -x` (what a shell
# script would use, process start included) and with a bare loop over /proc/PID/stat,
# first at the machine's own process count, then with 1,000 extra sleeping processes.
# Usage: bench/presence.sh   (runs in well under a minute)
set -euo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
sleepers=()
cleanup() {
  if ((${#sleepers[@]})); then
    kill "${sleepers[@]}" 2>/dev/null || true
    wait "${sleepers[@]}" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT

g++ -std=c++20 -O2 -Wall -Wextra -Wpedantic -I"$repo" \
  "$repo/bench/bench_presence.cpp" "$repo/platform/proc_table.cpp" \
  -lbenchmark -pthread -o "$work/bench_presence"

process_count() { find /proc -maxdepth 1 -name '[0-9]*' | wc -l; }

# Microseconds per iteration of one benchmark.
bench_us() {
  "$work/bench_presence" --benchmark_filter="^$1\$" --benchmark_min_time=0.5 \
    --benchmark_format=csv 2>/dev/null |
    awk -F, -v name="\"$1\"" '$1 == name { print $3 }'
}

# Microseconds per run of `pgrep -x t-server.exe`, averaged over 100 runs.
pgrep_us() {
  local runs=100 start end
  start=$(date +%s%N)
  for ((i = 0; i < runs; i++)); do pgrep -x t-server.exe >/dev/null || true; done
  end=$(date +%s%N)
  awk -v ns=$((end - start)) -v runs=$runs 'BEGIN { printf "%.1f", ns / runs / 1000 }'
}

measure() {
  local presence bare pgrep
  presence=$(bench_us PresenceCheck)
  bare=$(bench_us BareStatLoop)
  pgrep=$(pgrep_us)
  printf '%-26s %6d processes\n' "$1" "$(process_count)"
  printf '  presence check   %10.1f us\n  bare stat loop   %10.1f us\n  pgrep -x         %10.1f us\n' \
    "$presence" "$bare" "$pgrep"
  awk -v p="$presence" -v g="$pgrep" -v b="$bare" \
    'BEGIN { printf "  presence/pgrep            %.2f\n  presence/bare-stat-loop   %.2f\n", p / g, p / b }'
}

measure "as the machine is:"

base=$(process_count)
for ((i = 0; i < 1000; i++)); do
  sleep 600 &
  sleepers+=($!)
done
deadline=$((SECONDS + 30))
while (($(process_count) < base + 1000 && SECONDS < deadline)); do sleep 0.1; done

measure "with 1,000 more:"
