# Helpers shared by the display tests (sourced, not run): the report, polling, ports and
# HTTP, a virtual X display with a window manager, screenshots, the panel's windows and
# processes. Each test sets $work (its scratch folder) before starting anything, and
# SCREEN_W before reading screenshots.

# use_build_dir ARG...: the test's one argument, a build folder holding tovanik-webserver
# and tovanikctl, as the absolute $build; stops the test (status 2) otherwise.
use_build_dir() {
  if [[ $# -ne 1 || ! -x "$1/tovanik-webserver" || ! -x "$1/tovanikctl" ]]; then
    echo "usage: $0 BUILD_DIR   (with tovanik-webserver and tovanikctl built in it)" >&2
    exit 2
  fi
  build=$(cd "$1" && pwd)
}

# require_tools TOOL...: stops the test (status 2) when one is missing.
require_tools() {
  local tool
  for tool; do
    if ! command -v "$tool" >/dev/null; then
      echo "${0##*/}: $tool is missing (packaging/install-deps.sh --test installs it)" >&2
      exit 2
    fi
  done
}

passed=0
failed=0
ok() { echo "ok - $*"; passed=$((passed + 1)); }
not_ok() { echo "not ok - $*"; failed=$((failed + 1)); }
# check DESCRIPTION COMMAND...: one line of the report from a command's exit status.
check() {
  local what=$1
  shift
  if "$@"; then ok "$what"; else not_ok "$what"; fi
}
# finish_report: on failures, the tail of every log in $work; then the totals. Returns
# the test's exit status.
finish_report() {
  local log
  if ((failed > 0)); then
    for log in "$work"/*.log; do
      [[ -s "$log" ]] || continue
      echo "# ${log##*/}:"
      tail -n 20 "$log" | sed 's/^/#   /'
    done
  fi
  echo "$passed passed, $failed failed"
  ((failed == 0))
}

now_ms() { local t=${EPOCHREALTIME/[.,]/}; echo $((t / 1000)); }

# poll SECONDS COMMAND...: runs COMMAND every 150 ms until it succeeds (status 0) or the
# deadline passes (status 1).
poll() {
  local deadline=$(($(now_ms) + $1 * 1000))
  shift
  while :; do
    "$@" && return 0
    (($(now_ms) > deadline)) && return 1
    sleep 0.15
  done
}

# gone PID: the process has ended (a zombie not yet reaped counts as ended).
gone() {
  local state
  state=$(awk '{ print $3 }' "/proc/$1/stat" 2>/dev/null) || return 0
  [[ -z "$state" || "$state" == Z || "$state" == X ]]
}

# ---------------------------------------------------------------- ports, HTTP
port_taken() {  # any TCP socket, in any state, bound to the port
  local hex
  hex=$(printf ':%04X' "$1")
  awk -v h="$hex" 'FNR > 1 && substr($2, length($2) - 4) == h { found = 1 } END { exit !found }' \
    /proc/net/tcp /proc/net/tcp6 2>/dev/null
}
free_port() {  # free_port [EXCEPT]
  local p
  while :; do
    p=$((20000 + RANDOM % 40000))
    [[ "$p" != "${1:-}" ]] && ! port_taken "$p" && { echo "$p"; return; }
  done
}
http_code() {
  curl -s --noproxy '*' -m 3 -o /dev/null -w '%{http_code}' "http://127.0.0.1:$1/" 2>/dev/null
}
http_ok() { [[ $(http_code "$1") == 200 ]]; }
http_down() { [[ $(http_code "$1") == 000 ]]; }

# ---------------------------------------------------------------- the virtual display
xvfb_pid=""
openbox_pid=""
display_up() { xdpyinfo -display "$1" >/dev/null 2>&1; }
# start_xvfb WIDTH HEIGHT: a virtual X display on a number the server picks itself
# (-displayfd), so that runs at the same time never share one; sets DISPLAY.
start_xvfb() {
  local number=$work/xvfb.display
  # -noreset: without it the server resets whenever its last client leaves, and a
  # client that connects during a reset is turned away.
  Xvfb -displayfd 3 -screen 0 "$1x$2x24" -nolisten tcp -noreset 3>"$number" >"$work/xvfb.log" 2>&1 &
  xvfb_pid=$!
  number_written() { [[ $(wc -l <"$number") -ge 1 ]] || ! kill -0 "$xvfb_pid" 2>/dev/null; }
  poll 20 number_written
  if ! [[ $(wc -l <"$number") -ge 1 ]] || ! display_up ":$(head -n1 "$number")"; then
    echo "${0##*/}: Xvfb did not start:" >&2
    cat "$work/xvfb.log" >&2
    return 1
  fi
  export DISPLAY=:$(head -n1 "$number")
}
wm_up() { xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; }
wm_up_or_gone() { wm_up || gone "$openbox_pid"; }
# start_openbox: the window manager on $DISPLAY, a second attempt when the first fails.
start_openbox() {
  local attempt
  for attempt in 1 2; do
    openbox --sm-disable >>"$work/openbox.log" 2>&1 &
    openbox_pid=$!
    poll 20 wm_up_or_gone
    wm_up && return 0
    echo "# openbox did not come up (attempt $attempt):"
    sed 's/^/#   /' "$work/openbox.log"
    kill "$openbox_pid" 2>/dev/null
    wait "$openbox_pid" 2>/dev/null
  done
  return 1
}
# stop_display: ends the window manager and the X server this test started.
stop_display() {
  [[ -n "$openbox_pid" ]] && kill "$openbox_pid" 2>/dev/null
  [[ -n "$xvfb_pid" ]] && kill "$xvfb_pid" 2>/dev/null
  local pid
  for pid in $openbox_pid $xvfb_pid; do wait "$pid" 2>/dev/null; done
}

# ---------------------------------------------------------------- screenshots
win=""     # the panel's X window id
win_x=0    # its position on the screen and its size
win_y=0
win_w=0
win_h=0
shot=""    # the last snap, raw RGB; set by snap

snap() {
  shot=$work/root.rgb
  import -display "$DISPLAY" -window root -depth 8 "rgb:$shot" 2>/dev/null
}
# root_px X Y: screen pixel of the last snap as RRGGBB.
root_px() {
  od -An -tx1 -v -j $((($2 * SCREEN_W + $1) * 3)) -N3 "$shot" | tr -d ' \n' | tr 'a-f' 'A-F'
}
# px X Y: pixel of the last snap at window coordinates.
px() { root_px $((win_x + $1)) $((win_y + $2)); }
# px_is X Y RRGGBB...: the pixel of the last snap has one of the colours.
px_is() {
  local got c
  got=$(px "$1" "$2")
  shift 2
  for c; do [[ "$got" == "$c" ]] && return 0; done
  return 1
}
# count_px X Y W H RRGGBB: how many pixels of the window rectangle in the last snap have
# exactly that colour.
count_px() {
  local y n=0 k
  for ((y = $2; y < $2 + $4; y++)); do
    k=$(od -An -v -tx1 -w3 -j $((((win_y + y) * SCREEN_W + win_x + $1) * 3)) -N $(($3 * 3)) "$shot" |
      tr -d ' ' | grep -ci "^$5\$")
    n=$((n + k))
  done
  echo "$n"
}
# no_ink X Y W H: the rectangle of the last snap is all card (#2B2E31).
no_ink() { (($(count_px "$1" "$2" "$3" "$4" 2B2E31) == $3 * $4)); }
first_ink_row() {  # first_ink_row LEFT TOP WIDTH HEIGHT (pixels): rows down to the first ink
  local y
  for ((y = 0; y < $4; y++)); do
    no_ink "$1" $(($2 + y)) "$3" 1 || { echo "$y"; return; }
  done
  echo none
}
# design_px WHAT X Y RRGGBB: checks one pixel of the last snap, at window coordinates.
design_px() {
  local got
  got=$(px "$2" "$3")
  check "$1 at ($2,$3) is #$4 (got #$got)" [ "$got" == "$4" ]
}
# The pixels every build of the panel draws alike (at 96 dpi), away from the edges of
# shapes and text: the bands, the card, the separators and the header's marks.
check_design_pixels() {
  design_px "header band" 200 40 2B2E31
  design_px "window background between header and card" 150 84 353C42
  design_px "window background left of the card" 6 170 353C42
  design_px "card, URL row" 110 104 2B2E31
  design_px "card, middle" 200 176 2B2E31
  design_px "card, bottom row" 150 245 2B2E31
  design_px "window background below the card" 150 253 353C42
  design_px "footer band" 250 275 2B2E31
  design_px "separator Line2" 200 120 5B6063
  design_px "separator Line4" 200 184 5B6063
  design_px "accent bar" 100 16 008CCA
  design_px "minimise mark" 248 16 ECBC2C
  design_px "close mark" 288 16 FD5C5C
}
# pointer_to X Y: the pointer to a screen position, returning once the X server has it
# there. xdotool's --sync waits for the pointer to move, so a move to where it already is
# would wait out xdotool's 15 s: that one is not made.
pointer_to() {
  [[ $(xdotool getmouselocation 2>/dev/null) == "x:$1 y:$2 "* ]] && return 0
  xdotool mousemove --sync "$1" "$2"
}
# Pointer at window coordinates.
point() { pointer_to $((win_x + $1)) $((win_y + $2)); }

# ---------------------------------------------------------------- the panel
# shown_tooltip: the text of the tooltip the panel shows, read from its window's name (the
# panel names the tip's window after its text); empty when none shows.
shown_tooltip() {
  local id name
  for id in $(xdotool search --onlyvisible --classname 'tovanik-webserver' 2>/dev/null); do
    name=$(xdotool getwindowname "$id" 2>/dev/null) || continue
    [[ -n "$name" && "$name" != "Tovanik PHP Web Server" ]] && { echo "$name"; return 0; }
  done
  return 0
}
# tooltip_is TEXT: the tooltip shown reads TEXT.
tooltip_is() { [[ "$(shown_tooltip)" == "$1" ]]; }
panel_windows() { xdotool search --onlyvisible --name '^Tovanik PHP Web Server$' 2>/dev/null; }
one_panel_window() { [[ $(panel_windows | wc -l) -eq 1 ]]; }
no_panel_window() { [[ -z $(panel_windows) ]]; }
find_panel_window() {
  local ids
  ids=$(panel_windows) || return 1
  [[ $(wc -l <<<"$ids") -eq 1 ]] || return 1
  win=$ids
}
read_window_position() {
  local info
  [[ -n "$win" ]] || return 1  # xwininfo without an id would wait for a click
  info=$(xwininfo -id "$win" 2>/dev/null) || return 1
  win_x=$(awk '/Absolute upper-left X/ { print $4 }' <<<"$info")
  win_y=$(awk '/Absolute upper-left Y/ { print $4 }' <<<"$info")
  win_w=$(awk '/^ *Width:/ { print $2 }' <<<"$info")
  win_h=$(awk '/^ *Height:/ { print $2 }' <<<"$info")
}
at_position() { read_window_position && [[ $win_x -eq $1 && $win_y -eq $2 ]]; }

panel_pids=()
# start_panel FOLDER LOG [ENV-ARGS...]: starts a panel from /tmp, as a user would from
# any folder, through `env` with the given arguments; its PID is in $panel_pid.
start_panel() {
  local folder=$1 log=$2
  shift 2
  (cd /tmp && exec env "$@" "$folder/tovanik-webserver" >>"$log" 2>&1) &
  panel_pid=$!
  panel_pids+=("$panel_pid")
}
# wait_panel PID: waits until the panel process has ended; its exit status is then in
# $panel_status.
wait_panel() {
  local pid=$1 p rest=()
  panel_status=""
  poll 20 gone "$pid" || return 1
  wait "$pid" 2>/dev/null
  panel_status=$?
  for p in "${panel_pids[@]}"; do [[ "$p" == "$pid" ]] || rest+=("$p"); done
  panel_pids=("${rest[@]}")
}
# kill_panels: ends every panel this test started.
kill_panels() {
  local pid
  for pid in "${panel_pids[@]}"; do kill -KILL "$pid" 2>/dev/null; done
  for pid in "${panel_pids[@]}"; do wait "$pid" 2>/dev/null; done
  panel_pids=()
}

# Sanitizer builds report what they find on the panels' standard error.
sanitizer_quiet() { ! grep -qE 'ERROR: (Address|Leak)Sanitizer|runtime error:' "$work"/panel*.log; }
