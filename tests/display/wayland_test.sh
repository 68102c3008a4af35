#!/usr/bin/env bash
# The panel under a native Wayland compositor: Weston with its X11 back end, nested in a
# virtual X display (Xvfb), so that xdotool drives Weston's pointer and screenshots of
# the X display show what Weston draws. Checks that the panel starts and its server
# answers, that a drag on the bare surface moves the window from the press on (found in
# screenshots by its colours), that the corners outside the rounded outline are not
# painted, that a second start brings a minimised window back, and that with both DISPLAY
# and WAYLAND_DISPLAY set and no QT_QPA_PLATFORM the panel picks X11.
#
# Usage: tests/display/wayland_test.sh BUILD_DIR
# Prints "ok - ..." / "not ok - ..." per check and "N passed, M failed" at the end;
# exits non-zero when a check fails.
set -uo pipefail

src=$(cd "$(dirname "$0")/../.." && pwd)
source "$src/tests/display/lib.sh"
use_build_dir "$@"
require_tools Xvfb weston xdotool xwininfo xdpyinfo import convert curl od php

export ASAN_OPTIONS=detect_leaks=0
unset QT_QPA_PLATFORMTHEME QT_STYLE_OVERRIDE QT_SCALE_FACTOR QT_SCREEN_SCALE_FACTORS
unset QT_QPA_PLATFORM WAYLAND_DISPLAY
export QT_AUTO_SCREEN_SCALE_FACTOR=0

work=$(mktemp -d /tmp/tovanik-wayland.XXXXXX)
chmod 700 "$work"
# Weston's socket and the panel's single-copy lock: a runtime folder of this run alone.
export XDG_RUNTIME_DIR=$work/runtime
mkdir -m 700 "$XDG_RUNTIME_DIR"
export XDG_CONFIG_HOME=$work/xdg-config XDG_STATE_HOME=$work/state
# Weston's output fills the X screen, so its pointer never meets an edge the X pointer
# does not meet too (see sync_pointer).
readonly SCREEN_W=1280 SCREEN_H=800
weston_pid=""
folder=""

ctl() { "$folder/tovanikctl" --folder "$folder" "$@"; }
cleanup() {
  kill_panels
  [[ -n "$folder" && -x "$folder/tovanikctl" ]] && ctl stop >/dev/null 2>&1
  if [[ -n "$weston_pid" ]]; then
    kill "$weston_pid" 2>/dev/null
    wait "$weston_pid" 2>/dev/null
  fi
  stop_display
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM HUP

start_xvfb "$SCREEN_W" "$SCREEN_H" || exit 1
socket=tovanik-$$
# Pixman, Weston's software renderer: no GL driver needed. The protocol scope logs every
# request, so the test sees when the panel asks the compositor to move its window.
weston --backend=x11-backend.so --width=$SCREEN_W --height=$SCREEN_H --socket="$socket" \
  --idle-time=0 --no-config --use-pixman --logger-scopes=log,proto >"$work/weston.log" 2>&1 &
weston_pid=$!
weston_up() { [[ -S "$XDG_RUNTIME_DIR/$socket" ]] || gone "$weston_pid"; }
poll 20 weston_up
check "Weston runs on $DISPLAY with its socket $socket" eval '[ -S "$XDG_RUNTIME_DIR/$socket" ] && ! gone $weston_pid'
[[ -S "$XDG_RUNTIME_DIR/$socket" ]] || { cat "$work/weston.log" >&2; exit 1; }

# Weston's X11 back end moves its pointer by the X pointer's relative motion, clamped to
# its output. Pushing the pointer into two opposite corners puts both pointers on the
# same pixel; from then on they move together.
sync_pointer() {
  xdotool mousemove 0 0
  xdotool mousemove $((SCREEN_W - 1)) $((SCREEN_H - 1))
  xdotool mousemove 0 0
  xdotool mousemove $((SCREEN_W - 1)) $((SCREEN_H - 1))
}
# The pointer goes to the bottom-right corner, out of the screenshots' way.
park_pointer() { xdotool mousemove $((SCREEN_W - 1)) $((SCREEN_H - 1)); }

folder=$work/program
"$src/packaging/layout.sh" "$build" "$folder" >/dev/null
exe=tvkw$$.exe
ln -s "$(readlink "$folder/php/t-server.exe")" "$folder/php/$exe"
ctl config set exe_name "$exe"
port=$(free_port)
ctl config set server_port "$port"

# find_panel_by_colours: the window's place on the screen from the last snap: the close
# mark, the only #FD5C5C on the screen, is a pill from (274, 9) to (303, 23) of the
# window, so the window lies 274, 9 up and left of the bounding box of that colour.
find_panel_by_colours() {
  local box
  box=$(convert -size "${SCREEN_W}x${SCREEN_H}" -depth 8 "rgb:$shot" -fill black +opaque '#FD5C5C' \
    -format '%@' info: 2>/dev/null) || return 1
  [[ "$box" =~ ^([0-9]+)x([0-9]+)\+([0-9]+)\+([0-9]+)$ ]] || return 1
  ((BASH_REMATCH[1] > 20 && BASH_REMATCH[1] < 40 && BASH_REMATCH[2] > 10 && BASH_REMATCH[2] < 20)) || return 1
  win_x=$((BASH_REMATCH[3] - 274))
  win_y=$((BASH_REMATCH[4] - 9))
}
snap_and_find() { snap && find_panel_by_colours; }
found_at() { snap_and_find && [[ $win_x -eq $1 && $win_y -eq $2 ]]; }

# ---------------------------------------------------------------- native Wayland
sync_pointer
start_panel "$folder" "$work/panel-wayland.log" -u DISPLAY QT_QPA_PLATFORM=wayland WAYLAND_DISPLAY="$socket"
wayland_panel=$panel_pid
check "the panel shows its window under Weston (found by its colours)" poll 20 snap_and_find
check "the panel runs" eval '! gone $wayland_panel'
check "the server answers HTTP 200 on port $port" poll 20 http_ok "$port"
check "the panel made no X11 window" no_panel_window
echo "# window found at $win_x,$win_y"
check "the bare header is painted in the panel's colours" px_is 200 40 2B2E31

# Drag on the bare header with one large step: the panel hands the move to the compositor
# at the press (xdg_toplevel.move, in Weston's protocol log), so the first motion already
# moves the window, and the pressed point stays under the pointer. Handed over at the
# first motion instead, that step would be lost. Weston places a new window anywhere on
# the screen: the step goes towards the middle, so the window stays on the screen.
from_x=$win_x
from_y=$win_y
step_x=$((win_x + 157 > SCREEN_W / 2 ? -100 : 100))
step_y=$((win_y + 145 > SCREEN_H / 2 ? -60 : 60))
press_x=$((win_x + 200))
press_y=$((win_y + 40))
moves_asked() { grep -c 'rq xdg_toplevel@[0-9]*\.move(' "$work/weston.log"; }
moves_before=$(moves_asked)
more_moves_asked() { (($(moves_asked) > moves_before)); }
xdotool mousemove --sync "$press_x" "$press_y"
xdotool mousedown 1
check "a press on the bare surface hands the move to the compositor" poll 20 more_moves_asked
xdotool mousemove --sync $((press_x + step_x)) $((press_y + step_y))
xdotool mouseup 1
park_pointer
check "a drag whose first and only step is ($step_x,$step_y) moves the window by as much" \
  poll 20 found_at $((from_x + step_x)) $((from_y + step_y))
on_screen() { ((win_x >= 0 && win_y >= 0 && win_x + 314 <= SCREEN_W && win_y + 290 <= SCREEN_H)); }
check "the window lies wholly on the screen for the checks of its corners" on_screen
echo "# window now at $win_x,$win_y"

# The corners: outside the rounded outline (corner ellipse 20 pixels across, right and
# bottom edges at 313 and 289) whatever lies behind shows, never the panel's colours;
# just inside it, the panel.
not_panel() { ! px_is "$1" "$2" 2B2E31 353C42; }
corners_clear() {
  local x y
  for x in 0 1 2; do
    for y in 0 1 2; do
      ((x + y <= 2)) || continue
      not_panel "$x" "$y" && not_panel $((312 - x)) "$y" && not_panel "$x" $((288 - y)) &&
        not_panel $((312 - x)) $((288 - y)) || return 1
    done
  done
}
inside_painted() { px_is 12 2 2B2E31 && px_is 300 2 2B2E31 && px_is 12 286 2B2E31 && px_is 300 286 2B2E31; }
snap
check "the four corners outside the rounded outline are not painted with the panel's colours" corners_clear
check "just inside the outline the panel is painted" inside_painted

# Minimised, the window is gone for good under Weston, which has no task bar; a second
# start of the program brings it back.
xdotool mousemove --sync $((win_x + 250)) $((win_y + 14))
xdotool mousemove --sync $((win_x + 251)) $((win_y + 15))
xdotool mousedown 1
sleep 0.05
xdotool mouseup 1
park_pointer
off_screen() { snap && ! find_panel_by_colours; }
check "a click on the minimise mark takes the window off the screen" poll 20 off_screen
start_panel "$folder" "$work/panel-wayland-second.log" -u DISPLAY QT_QPA_PLATFORM=wayland WAYLAND_DISPLAY="$socket"
check "a second copy of the panel ends by itself" wait_panel "$panel_pid"
check "... and the first copy's window is back on the screen" poll 20 snap_and_find

kill "$wayland_panel" 2>/dev/null
wait_panel "$wayland_panel"
ctl stop >/dev/null 2>&1

# ---------------------------------------------------------------- both displays named
# As on a Wayland desktop with XWayland: DISPLAY and WAYLAND_DISPLAY set, the session
# says wayland, QT_QPA_PLATFORM unset. The panel must choose X11.
start_panel "$folder" "$work/panel-both.log" WAYLAND_DISPLAY="$socket" XDG_SESSION_TYPE=wayland
both_panel=$panel_pid
check "with DISPLAY and WAYLAND_DISPLAY set the panel shows an X11 window" poll 20 find_panel_window
check "... and runs" eval '! gone $both_panel'
# The same window found by its colours lies where X says: the locator used above is exact.
read_window_position
x11_x=$win_x
x11_y=$win_y
park_pointer
locator_exact() { snap_and_find && [[ $win_x -eq $x11_x && $win_y -eq $x11_y ]]; }
check "found by its colours, the X11 window is at $x11_x,$x11_y, as X says" poll 20 locator_exact
kill "$both_panel" 2>/dev/null
wait_panel "$both_panel"

check "no sanitizer reports in the panels' output" sanitizer_quiet
finish_report
