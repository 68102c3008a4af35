# shellcheck shell=bash disable=SC2034,SC2154  # sourced; the sourcing script sets $build and $src
# Shared by the benchmark scripts (sourced): a private virtual display with a window
# manager, the bench programs built from source, a laid-out program folder, free ports and
# clean-up of everything started. Expects $build (the build folder) and $src (the source
# tree) to be set.

readonly SCREEN_W=1280 SCREEN_H=800 WIN_W=314 WIN_H=290
# Where the windows land: both are centred on the screen.
readonly WIN_X=$(((SCREEN_W - WIN_W) / 2)) WIN_Y=$(((SCREEN_H - WIN_H) / 2))

unset QT_QPA_PLATFORMTHEME QT_STYLE_OVERRIDE QT_SCALE_FACTOR QT_SCREEN_SCALE_FACTORS
export QT_QPA_PLATFORM=xcb
export ASAN_OPTIONS=detect_leaks=0

work=$(mktemp -d /tmp/tovanik-bench.XXXXXX)
export XDG_RUNTIME_DIR=$work/runtime
mkdir -m 700 "$XDG_RUNTIME_DIR"

bench_pids=()   # the window manager and the display, ended at exit in this order
measured=()     # programs under measurement still running, ended at exit first
folder=""       # program folder whose server is stopped at exit

bench_cleanup() {
  local pid
  for pid in "${measured[@]}"; do kill -KILL "$pid" 2>/dev/null; done
  for pid in "${bench_pids[@]}"; do kill "$pid" 2>/dev/null; done
  [[ -n "$folder" ]] && "$folder/tovanikctl" --folder "$folder" stop >/dev/null 2>&1
  for pid in "${bench_pids[@]}"; do wait "$pid" 2>/dev/null; done
  rm -rf "$work"
}
trap bench_cleanup EXIT
trap 'exit 130' INT TERM HUP

now_ms() { local t=${EPOCHREALTIME/[.,]/}; echo $((t / 1000)); }
poll() {  # poll SECONDS COMMAND...
  local deadline=$(($(now_ms) + $1 * 1000))
  shift
  until "$@"; do
    (($(now_ms) > deadline)) && return 1
    sleep 0.1
  done
}

start_display() {
  local n pid
  for n in $(seq 70 89); do
    [[ -e /tmp/.X$n-lock || -e /tmp/.X11-unix/X$n ]] && continue
    Xvfb ":$n" -screen 0 "${SCREEN_W}x${SCREEN_H}x24" -nolisten tcp -noreset >/dev/null 2>&1 &
    pid=$!
    if poll 10 xdpyinfo -display ":$n" >/dev/null 2>&1 &&
      [[ $(tr -d ' \n' <"/tmp/.X$n-lock" 2>/dev/null) == "$pid" ]]; then
      export DISPLAY=:$n
      openbox --sm-disable >/dev/null 2>&1 &
      bench_pids=($! "$pid")  # the window manager first, the display last
      poll 20 eval 'xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id"'
      return
    fi
    kill "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
  done
  echo "bench: could not start Xvfb on any of :70 to :89" >&2
  exit 1
}

build_tools() {
  local flags
  flags=$(pkg-config --cflags --libs Qt6Widgets) || exit 1
  # shellcheck disable=SC2086
  g++ -O2 -std=c++20 "$src/bench/bare_window.cpp" -o "$work/bare_window" $flags -fPIC || exit 1
  # shellcheck disable=SC2086
  g++ -O2 -std=c++20 "$src/bench/first_frame.cpp" -o "$work/first_frame" $flags -fPIC || exit 1
}

port_taken() {
  local hex
  hex=$(printf ':%04X' "$1")
  awk -v h="$hex" 'FNR > 1 && substr($2, length($2) - 4) == h { found = 1 } END { exit !found }' \
    /proc/net/tcp /proc/net/tcp6 2>/dev/null
}
free_port() {
  local p
  while :; do
    p=$((20000 + RANDOM % 40000))
    port_taken "$p" || { echo "$p"; return; }
  done
}

# A program folder with a free port. Its server runs under a name of this run alone, so
# that counting and stopping it never touches another panel's server on the machine.
make_folder() {
  folder=$work/program
  "$src/packaging/layout.sh" "$build" "$folder" >/dev/null || exit 1
  local exe=tvb$$.exe
  ln -s "$(readlink "$folder/php/t-server.exe")" "$folder/php/$exe"
  "$folder/tovanikctl" --folder "$folder" config set exe_name "$exe"
  "$folder/tovanikctl" --folder "$folder" config set server_port "$(free_port)"
}

# rss_kb PID: resident set size in KiB.
rss_kb() { awk '/^VmRSS:/ { print $2 }' "/proc/$1/status"; }
# cpu_ticks PID: user plus system time in clock ticks (fields 14 and 15 of stat; the
# command name in field 2 has no blanks here).
cpu_ticks() { awk '{ print $14 + $15 }' "/proc/$1/stat"; }

# gone PID: the process has ended (a zombie that init has yet to reap counts as ended).
gone() {
  local state
  state=$(awk '{ print $3 }' "/proc/$1/stat" 2>/dev/null) || return 0
  [[ -z "$state" || "$state" == Z || "$state" == X ]]
}
# end_process PID: SIGTERM, then wait (with a deadline) until it has gone.
end_process() {
  kill "$1" 2>/dev/null
  poll 10 gone "$1" || kill -KILL "$1" 2>/dev/null
}

median() { sort -g | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
