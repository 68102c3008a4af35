#!/usr/bin/env bash
# Start-up benchmark: time from exec to the first painted frame, and resident memory
# after 3 s of idling, for the panel and for a bare frameless Qt window of the same size
# (bench/bare_window.cpp), measured in the same run on a private virtual display.
# Prints each run, the medians and the ratios panel/bare.
#
# Usage: bench/startup.sh BUILD_DIR [RUNS]   (RUNS defaults to 5; use a Release build)
set -uo pipefail
if [[ $# -lt 1 || ! -x "$1/tovanik-webserver" ]]; then
  echo "usage: $0 BUILD_DIR [RUNS]" >&2
  exit 2
fi
build=$(cd "$1" && pwd)
runs=${2:-5}
src=$(cd "$(dirname "$0")/.." && pwd)
# shellcheck source=bench/lib.sh
source "$src/bench/lib.sh"

start_display
build_tools
make_folder

# The panel's first frame is seen on its accent bar (window pixel 100,16, #008CCA); the
# bare window paints the same colour all over and is seen at its centre.
panel_probe=("$work/first_frame" $((WIN_X + 100)) $((WIN_Y + 16)) 008CCA 30000 "$folder/tovanik-webserver")
bare_probe=("$work/first_frame" $((WIN_X + 157)) $((WIN_Y + 145)) 008CCA 30000 "$work/bare_window" 008CCA)

# measure NAME PROBE...: one start; appends "ms rss_kb" to $work/NAME.
measure() {
  local name=$1 out ms pid rss
  shift
  out=$("$@") || { echo "bench: $name showed no frame" >&2; exit 1; }
  read -r ms pid <<<"$out"
  measured=("$pid")
  sleep 3  # the idle interval before the memory reading
  rss=$(rss_kb "$pid")
  end_process "$pid"
  measured=()
  echo "$ms $rss" >>"$work/$name"
  printf '  %-5s %8.1f ms  %8d KiB\n' "$name" "$ms" "$rss"
}

# Every panel start finds the server stopped, so each one includes its launch.
stop_server() { "$folder/tovanikctl" --folder "$folder" stop >/dev/null 2>&1; }

echo "warm-up (not counted):"
measure warm "${bare_probe[@]}"
measure warm "${panel_probe[@]}"
stop_server
echo "runs:"
for ((i = 1; i <= runs; i++)); do
  measure bare "${bare_probe[@]}"
  measure panel "${panel_probe[@]}"
  stop_server
done

panel_ms=$(awk '{ print $1 }' "$work/panel" | median)
bare_ms=$(awk '{ print $1 }' "$work/bare" | median)
panel_rss=$(awk '{ print $2 }' "$work/panel" | median)
bare_rss=$(awk '{ print $2 }' "$work/bare" | median)
echo "medians of $runs runs:"
printf '  first frame: panel %.1f ms, bare window %.1f ms, ratio panel/bare %.2f\n' \
  "$panel_ms" "$bare_ms" "$(awk -v a="$panel_ms" -v b="$bare_ms" 'BEGIN { print a / b }')"
printf '  idle RSS after 3 s: panel %d KiB, bare window %d KiB, ratio panel/bare %.2f\n' \
  "$panel_rss" "$bare_rss" "$(awk -v a="$panel_rss" -v b="$bare_rss" 'BEGIN { print a / b }')"
