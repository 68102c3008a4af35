#!/usr/bin/env bash
# Idle CPU benchmark: the panel, with its server running, and a bare frameless Qt window
# of the same size (bench/bare_window.cpp) idle side by side on a private virtual display
# for the same interval; CPU time (user + system, from /proc/PID/stat) is read before and
# after. Prints each as percent of one core and the ratio panel/bare.
#
# Usage: bench/idle_cpu.sh BUILD_DIR [SECONDS]   (SECONDS defaults to 60; use a Release build)
set -uo pipefail
if [[ $# -lt 1 || ! -x "$1/tovanik-webserver" ]]; then
  echo "usage: $0 BUILD_DIR [SECONDS]" >&2
  exit 2
fi
build=$(cd "$1" && pwd)
seconds=${2:-60}
src=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source=bench/lib.sh
source "$src/bench/lib.sh"

start_display
build_tools
make_folder

# The panel centred, the bare window in the top-left corner, so that neither covers the
# other.
out=$("$work/first_frame" $((WIN_X + 100)) $((WIN_Y + 16)) 008CCA 30000 "$folder/tovanik-webserver") ||
  { echo "bench: the panel showed no frame" >&2; exit 1; }
read -r _ panel <<<"$out"
measured+=("$panel")
out=$("$work/first_frame" 157 145 008CCA 30000 "$work/bare_window" 008CCA 0 0) ||
  { echo "bench: the bare window showed no frame" >&2; exit 1; }
read -r _ bare <<<"$out"
measured+=("$bare")

server_running() { "$folder/tovanikctl" --folder "$folder" status >/dev/null 2>&1; }
if ! poll 20 server_running; then
  echo "bench: the panel's server did not start" >&2
  exit 1
fi
server=$("$folder/tovanikctl" --folder "$folder" status | awk 'NR == 1 { print $2 }')
sleep 2  # let both settle after start-up before the interval begins

ticks_per_s=$(getconf CLK_TCK)
p0=$(cpu_ticks "$panel")
b0=$(cpu_ticks "$bare")
s0=$(cpu_ticks "$server")
echo "idling for $seconds s ..."
sleep "$seconds"
p1=$(cpu_ticks "$panel")
b1=$(cpu_ticks "$bare")
s1=$(cpu_ticks "$server")

percent() { awk -v t="$1" -v hz="$ticks_per_s" -v s="$seconds" 'BEGIN { printf "%.3f", 100 * t / hz / s }'; }
dp=$((p1 - p0))
db=$((b1 - b0))
ds=$((s1 - s0))
echo "CPU over $seconds s idle (clock tick $((1000 / ticks_per_s)) ms):"
echo "  panel:       $dp ticks = $(percent "$dp") % of one core"
echo "  bare window: $db ticks = $(percent "$db") % of one core"
echo "  (the server, for reference: $ds ticks = $(percent "$ds") %)"
if ((db > 0)); then
  echo "  ratio panel/bare: $(awk -v a="$dp" -v b="$db" 'BEGIN { printf "%.1f", a / b }')"
else
  echo "  ratio panel/bare: >= $dp (the bare window used less than one tick; counted as one)"
fi
