#!/usr/bin/env bash
# The benchmarks of the panel and tovanikctl, each against an honest baseline measured in
# the same run, alternating A, B, A, B ... after a warm-up. Builds the source tree this
# script belongs to into BUILD (Release, with the benchmark programs), lays out a program
# folder with a server name and a free port of this run alone, measures on a private
# virtual display, and prints one table: minimum and median of each side, the ratios of
# the medians and of the minimums, and the aim.
#
# Usage: bench/run.sh BUILD [--rounds N] [--seconds S] [--only METRIC]...
#   N rounds after the warm-up (default 20); S seconds of idle CPU (default 60);
#   METRIC: startup, launch, status, presence, idle (default: all). Takes ~12 minutes.
# The Windows build under Wine: bench/run.sh --windows WINDOWS_BUILD [--rounds N]
#   [--seconds S] [--only startup|status|idle]: its own rows (bench/windows_rows.sh);
#   defaults 15 rounds, 120 s of idle CPU.
set -uo pipefail

src=$(cd "$(dirname "$0")/.." && pwd)
if [[ ${1:-} == --windows ]]; then
  shift
  exec "$src/bench/windows_rows.sh" "$@"
fi

usage() { echo "usage: $0 BUILD [--rounds N] [--seconds S] [--only startup|launch|status|presence|idle]..." >&2; exit 2; }
[[ $# -ge 1 ]] || usage
build=$1
shift
rounds=20 seconds=60 only=()
while [[ $# -gt 0 ]]; do
  case $1 in
    --rounds) rounds=${2:?}; shift 2 ;;
    --seconds) seconds=${2:?}; shift 2 ;;
    --only) only+=("${2:?}"); shift 2 ;;
    *) usage ;;
  esac
done
wanted() { [[ ${#only[@]} -eq 0 || " ${only[*]} " == *" $1 "* ]]; }

"$src/packaging/install-deps.sh" --bench || exit 1
cmake -S "$src" -B "$build" -DCMAKE_BUILD_TYPE=Release -DTOVANIK_TESTS=OFF -DTOVANIK_BENCH=ON \
  -DTOVANIK_SANITIZE=OFF >/dev/null || exit 1
cmake --build "$build" -j"$(nproc)" >/dev/null || exit 1
build=$(cd "$build" && pwd)

work=$(mktemp -d /tmp/tovanik-bench.XXXXXX)
chmod 700 "$work"
# The single-copy lock, the server's log and any desktop settings stay inside this run.
export XDG_RUNTIME_DIR=$work/runtime XDG_STATE_HOME=$work/state XDG_CONFIG_HOME=$work/config \
  XDG_DATA_HOME=$work/data
mkdir -m 700 "$XDG_RUNTIME_DIR" "$XDG_STATE_HOME" "$XDG_CONFIG_HOME" "$XDG_DATA_HOME"
unset QT_QPA_PLATFORMTHEME QT_STYLE_OVERRIDE QT_SCALE_FACTOR QT_SCREEN_SCALE_FACTORS
export QT_QPA_PLATFORM=xcb QT_AUTO_SCREEN_SCALE_FACTOR=0
export TOVANIK_BENCH_LOG=$work/programs.log
samples=$work/samples

xvfb="" openbox="" folder="" sleepers=()
cleanup() {
  [[ -n "$folder" ]] && "$folder/tovanikctl" --folder "$folder" stop >/dev/null 2>&1
  ((${#sleepers[@]})) && kill "${sleepers[@]}" 2>/dev/null
  [[ -n "$openbox" ]] && kill "$openbox" 2>/dev/null
  [[ -n "$xvfb" ]] && kill "$xvfb" 2>/dev/null
  wait 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM HUP

source "$src/bench/display.sh"
start_display

# The program folder, with a server name and a port of this run alone.
folder=$work/program
"$src/packaging/layout.sh" "$build" "$folder" >/dev/null || exit 1
exe=tvb$$.exe
ln -s "$(readlink "$folder/php/t-server.exe")" "$folder/php/$exe"
ctl() { "$folder/tovanikctl" --folder "$folder" "$@"; }
port=$("$build/bench/tovanik-bench" freeport)
ctl config set exe_name "$exe" && ctl config set server_port "$port" || exit 1
root=$(ctl config get root_directory) || exit 1

measure() {  # measure COMMAND [--OPTION VALUE]...
  echo "  $1 ..." >&2
  "$build/bench/tovanik-bench" "$@" --folder "$folder" --tools "$build/bench" --exe "$exe" \
    --port "$port" --root "$root" --rounds "$rounds" --seconds "$seconds" >>"$samples" ||
    { echo "bench: $1 failed; the programs' output:" >&2; tail -n 20 "$TOVANIK_BENCH_LOG" >&2; failed=1; }
  : >"$TOVANIK_BENCH_LOG"
}
failed=0
process_count() { find /proc -maxdepth 1 -name '[0-9]*' 2>/dev/null | wc -l; }

machine="$(nproc) cores, $(awk -F': ' '/^model name/ { print $2; exit }' /proc/cpuinfo)"
echo "Machine: $machine; $(process_count) processes; load average $(cut -d' ' -f1-3 /proc/loadavg)"
echo "Measuring ($rounds rounds after a warm-up) ..." >&2
: >"$samples"
wanted startup && measure startup
wanted launch && measure launch
wanted status && measure status
wanted presence && measure presence --tag machine
wanted idle && measure idle --tag machine
if wanted presence || wanted idle; then
  base=$(process_count)
  for _ in $(seq 1000); do
    sleep 100000 &
    sleepers+=($!)
  done
  for _ in $(seq 300); do (($(process_count) >= base + 1000)) && break; sleep 0.1; done
  wanted presence && measure presence --tag plus1000
  wanted idle && measure idle --tag plus1000
  kill "${sleepers[@]}" 2>/dev/null
  wait "${sleepers[@]}" 2>/dev/null
  sleepers=()
fi
echo "Load average after: $(cut -d' ' -f1-3 /proc/loadavg)"

# summary: "min median n" of the numbers on standard input, one a line.
summary() {
  sort -g | awk '{ v[NR] = $1 } END { if (NR == 0) exit 1
                   m = NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2
                   printf "%g %g %d\n", v[1], m, NR }'
}
# stats SERIES: "min median n" of the series' samples.
stats() { awk -v s="$1" '$1 == s { print $2 }' "$samples" | summary; }
first() { awk -v s="$1" '$1 == s { print $2; exit }' "$samples"; }
# paired SERIES BASELINE: "min median n" of the rounds' own ratios. Each round runs both
# one after the other, so the machine's pace in that round, which moves both, cancels.
paired() {
  awk -v a="$1" -v b="$2" '$1 == a { x[++na] = $2 } $1 == b { y[++nb] = $2 }
    END { for (i = 1; i <= na && i <= nb; i++) if (y[i] > 0) print x[i] / y[i] }' "$samples" |
    summary
}

printf '\n%-40s %-19s %-17s %-19s %-15s %s\n' "metric (unit)" "Tovanik min/median" "baseline" \
  "min/median" "ratio med (min)" "aim"
# row LABEL SERIES BASELINE_LABEL BASELINE_SERIES AIM
row() {
  local a b
  a=$(stats "$2") && b=$(stats "$4") || return 0
  read -r amin amed n <<<"$a"
  read -r bmin bmed _ <<<"$b"
  awk -v l="$1 n=$n" -v bl="$3" -v amin="$amin" -v amed="$amed" -v bmin="$bmin" -v bmed="$bmed" \
    -v aim="$5" 'function f(x) { return x >= 100 ? sprintf("%.0f", x) : x >= 1 ? sprintf("%.1f", x) : sprintf("%.3f", x) }
    BEGIN { r = bmed > 0 ? sprintf("%.2f", amed / bmed) : "-"
            q = bmin > 0 ? sprintf("%.2f", amin / bmin) : "-"
            printf "%-40s %-19s %-17s %-19s %-15s %s\n", l, f(amin) " / " f(amed), bl,
                   f(bmin) " / " f(bmed), r " (" q ")", aim }'
}
row "first frame (ms)" frame_panel "text window" frame_text "<= 1.05"
row "first frame (ms)" frame_panel "bare window" frame_bare "(shown)"
row "CPU used to first frame (ms)" framecpu_panel "text window" framecpu_text "(shown)"
row "CPU used to first frame (ms)" framecpu_panel "bare window" framecpu_bare "(shown)"
for series in frame framecpu; do
  r=$(paired "${series}_panel" "${series}_text") || continue
  read -r rmin rmed n <<<"$r"
  printf '  (%s: each round'"'"'s panel against its text window, median (minimum): %.2f (%.2f), n=%d)\n' \
    "$series" "$rmed" "$rmin" "$n"
done
row "idle RSS (MiB)" rss_panel "text window" rss_text "<= 1.03"
row "idle RSS (MiB)" rss_panel "bare window" rss_bare "(shown)"
row "switch click -> HTTP 200 (ms)" click200 "php -S -> 200" php200 "<= 1.25"
row "tovanikctl start -> HTTP 200 (ms)" ctl200 "php -S -> 200" php200 "<= 1.25"
row "tovanikctl start returns (ms)" ctlreturn "php -S -> 200" php200 "<= 1.25"
row "tovanikctl status (ms)" status "pgrep -x" pgrep "<= 0.5"
for tag in machine plus1000; do
  procs=$(first "procs_$tag") || continue
  [[ -n "$procs" ]] || continue
  row "presence check, $procs procs (us)" "presence_$tag" "/proc/*/comm loop" "comm_$tag" "<= 1.2"
  row "presence check, stopped (us)" "stopped_$tag" "/proc/*/comm loop" "comm_$tag" "<= 0.7"
  row "full scan (findProcesses) (us)" "scan_$tag" "/proc/*/comm loop" "comm_$tag" "(shown)"
  row "idle CPU, $procs procs (% core)" "idle_panel_$tag" "text window" "idle_text_$tag" \
    "panel <= 0.035 %"
  row "system calls per idle second, $procs procs" "syscalls_panel_$tag" "text window" \
    "syscalls_text_$tag" "panel <= 15 a tick"
done
for tag in machine plus1000; do
  [[ -n "$(first "idletotal_panel_$tag")" ]] || continue
  printf 'idle CPU over %s s (%s, %s procs): panel %.3f %%, text window %.3f %%, the server %.3f %% of a core\n' \
    "$seconds" "$tag" "$(first "procs_$tag")" "$(first "idletotal_panel_$tag")" \
    "$(first "idletotal_text_$tag")" "$(first "idletotal_server_$tag")"
done
echo "Machine: $machine"
cp "$samples" "$build/bench-samples.txt"
exit "$failed"
