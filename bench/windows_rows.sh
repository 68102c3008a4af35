#!/usr/bin/env bash
# The Windows rows of the benchmarks (bench/run.sh --windows): the mingw build's panel
# and tovanikctl.exe under Wine, each against a baseline built alongside and run in the
# same way, alternating A, B, A, B after a warm-up round: exec to first frame and PSS
# against the bare window (bench/windows/bare_window.cpp), `tovanikctl.exe status`
# against a bare toolhelp lookup and against that lookup with the port's two listener
# tables (bench/windows/toolhelp_lookup.cpp), and the CPU time (the scheduler's, in
# nanoseconds) the panel, its server running, and the bare window use while idle side by
# side, and the Wine server's ticks with the windows and, over as long before, with the
# server alone. One Wine server, kept running, serves every program of the run.
#
# Usage: bench/windows_rows.sh WINDOWS_BUILD [--rounds N] [--seconds S] [--only M]...
#   WINDOWS_BUILD is configured with the windows preset, the benchmark programs and the
#   tests' stand-in server; N defaults to 15, S to 120; M: startup, status, idle.
#   TOVANIK_BENCH_PANEL_FROM=DIR measures the programs of another Windows build (DIR)
#   against this build's baselines: a before-and-after in one setting.
set -uo pipefail

usage() { echo "usage: $0 WINDOWS_BUILD [--rounds N] [--seconds S] [--only startup|status|idle]..." >&2; exit 2; }
[[ $# -ge 1 ]] || usage
build=$1
shift
rounds=15 seconds=120 only=()
while [[ $# -gt 0 ]]; do
  case $1 in
    --rounds) rounds=${2:?}; shift 2 ;;
    --seconds) seconds=${2:?}; shift 2 ;;
    --only) only+=("${2:?}"); shift 2 ;;
    *) usage ;;
  esac
done
wanted() { [[ ${#only[@]} -eq 0 || " ${only[*]} " == *" $1 "* ]]; }

src=$(cd "$(dirname "$0")/.." && pwd)
"$src/packaging/install-deps.sh" --bench --windows || exit 1
"$src/packaging/clear-old-cache.sh" "$build"
(cd "$src" && cmake --preset windows -B "$build" -DTOVANIK_BENCH=ON >/dev/null) || exit 1
cmake --build "$build" -j2 --target tovanik-webserver tovanikctl stand_in_server \
  bare_window_win32 toolhelp_lookup >/dev/null || exit 1
build=$(cd "$build" && pwd)
from=${TOVANIK_BENCH_PANEL_FROM:-$build}

work=$(mktemp -d /tmp/tovanik-winbench.XXXXXX)
chmod 700 "$work"
export TOVANIK_BENCH_LOG=$work/programs.log
samples=$work/samples
c++ -O2 -std=c++20 -I"$src" "$src/bench/windows_bench.cpp" "$src/bench/x_display.cpp" \
  "$src/bench/processes.cpp" -lX11 -lXdamage -lXtst -o "$work/tovanik-winbench" || exit 1

# The run's own Wine prefix (made once, in the build folder), its server kept running.
export WINEPREFIX=$build/wine-bench WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
[[ -f "$WINEPREFIX/system.reg" ]] || { wine wineboot -i >/dev/null 2>&1; wineserver -w; }
mkdir -p "$WINEPREFIX/drive_c/windows/Fonts"
cp /usr/share/wine/fonts/tahoma*.ttf "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null

xvfb="" openbox=""
cleanup() {
  [[ -n "${folder:-}" && -f "${folder:-}/tovanikctl.exe" ]] && wine "$folder/tovanikctl.exe" stop >/dev/null 2>&1
  wineserver -k 2>/dev/null
  [[ -n "$openbox" ]] && kill "$openbox" 2>/dev/null
  [[ -n "$xvfb" ]] && kill "$xvfb" 2>/dev/null
  wait 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM HUP

source "$src/bench/display.sh"
start_display
wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d 96 /f >/dev/null 2>&1
wineserver -p  # one server for the whole run, not one per program
wine wineboot >/dev/null 2>&1
# The program folder: the programs under test, the stand-in server under a name of this
# run, a free port.
folder=$work/program
mkdir -p "$folder/config" "$folder/php" "$folder/tovanik"
cp "$from/tovanik-webserver.exe" "$from/tovanikctl.exe" "$folder/"
exe=tvb$$.exe
cp "$build/stand_in_server.exe" "$folder/php/$exe"
echo '<?php echo "ok";' >"$folder/tovanik/index.php"
port=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
printf '[Config]\r\ncommand_prompt=hide\r\nserver_port=%s\r\nroot_directory=tovanik\r\nphp_folder=php\r\nexe_name=%s\r\n' \
  "$port" "$exe" >"$folder/config/config.ini"

machine="$(nproc) cores, $(awk -F': ' '/^model name/ { print $2; exit }' /proc/cpuinfo)"
echo "Machine: $machine; $(wine --version); load average $(cut -d' ' -f1-3 /proc/loadavg)"
[[ "$from" != "$build" ]] && echo "The panel and tovanikctl.exe from $from"
failed=0
for what in startup status idle; do
  wanted "$what" || continue
  echo "  $what ..." >&2
  "$work/tovanik-winbench" "$what" "$folder" "$build" "$exe" "$port" "$rounds" "$seconds" >>"$samples" ||
    { echo "bench: $what failed; the programs' output:" >&2; tail -n 20 "$TOVANIK_BENCH_LOG" >&2; failed=1; }
done
echo "Load average after: $(cut -d' ' -f1-3 /proc/loadavg)"

stats() {
  awk -v s="$1" '$1 == s { print $2 }' "$samples" | sort -g |
    awk '{ v[NR] = $1 } END { if (NR == 0) exit 1
           m = NR % 2 ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2
           printf "%g %g %d %g %g\n", v[1], m, NR, v[int((NR + 3) / 4)], v[int((3 * NR + 3) / 4)] }'
}
printf '\n%-36s %-19s %-20s %-19s %-15s %s\n' "metric (unit)" "Tovanik min/median" "baseline" \
  "min/median" "ratio med (min)" "aim"
row() {  # row LABEL SERIES BASELINE_LABEL BASELINE_SERIES AIM
  local a b
  a=$(stats "$2") && b=$(stats "$4") || return 0
  read -r amin amed n _ <<<"$a"
  read -r bmin bmed _ <<<"$b"
  awk -v l="$1 n=$n" -v bl="$3" -v amin="$amin" -v amed="$amed" -v bmin="$bmin" -v bmed="$bmed" \
    -v aim="$5" 'function f(x) { return x >= 100 ? sprintf("%.0f", x) : sprintf("%.1f", x) }
    BEGIN { r = bmed > 0 ? sprintf("%.2f", amed / bmed) : "-"
            q = bmin > 0 ? sprintf("%.2f", amin / bmin) : "-"
            printf "%-36s %-19s %-20s %-19s %-15s %s\n", l, f(amin) " / " f(amed), bl,
                   f(bmin) " / " f(bmed), r " (" q ")", aim }'
}
row "first frame, Wine (ms)" wframe_panel "bare window" wframe_bare "<= 1.10"
row "CPU used to first frame, Wine (ms)" wframecpu_panel "bare window" wframecpu_bare "(shown)"
row "PSS, Wine (MiB)" wpss_panel "bare window" wpss_bare "<= 1.3"
row "RSS, Wine (MiB)" wrss_panel "bare window" wrss_bare "(shown)"
row "tovanikctl.exe status (ms)" wstatus "toolhelp lookup" wlookup "<= 1.5"
row "lookup and port tables (ms)" wlookupport "toolhelp lookup" wlookup "(shown: the floor)"
row "tovanikctl.exe status (ms)" wstatus "lookup and port tables" wlookupport "(shown)"
if [[ -n "$(awk '$1 == "widle_panel"' "$samples")" ]]; then
  printf 'idle CPU over %s s, Wine, server running (ms): panel %.1f, bare window %.1f, Wine server %.1f, and %.1f over as long with the server and no window (aim: panel <= %s, two ticks a minute; Wine server near its figure without the windows)\n' \
    "$seconds" "$(awk '$1 == "widle_panel" { print $2 }' "$samples")" \
    "$(awk '$1 == "widle_bare" { print $2 }' "$samples")" \
    "$(awk '$1 == "widle_wineserver" { print $2 }' "$samples")" \
    "$(awk '$1 == "widle_wineserver_alone" { print $2 }' "$samples")" "$((seconds / 6))"
fi
cp "$samples" "$build/bench-windows-samples.txt"
exit "$failed"
