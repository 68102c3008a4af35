#!/usr/bin/env bash
# The panel on an X11 desktop (Xvfb + openbox), beyond display_test.sh: dragging with
# fast bursts of pointer motion, and the single-copy lock without $XDG_RUNTIME_DIR
# between two users (root and nobody, through setpriv) and after a copy was killed.
#
# Usage: tests/display/x11_desktop_test.sh BUILD_DIR
# Prints "ok - ..." / "not ok - ..." per check and "N passed, M failed" at the end;
# exits non-zero when a check fails.
set -uo pipefail

src=$(cd "$(dirname "$0")/../.." && pwd)
source "$src/tests/display/lib.sh"
use_build_dir "$@"
require_tools Xvfb openbox xdotool xprop xwininfo xdpyinfo curl php setpriv

export ASAN_OPTIONS=detect_leaks=0
unset QT_QPA_PLATFORMTHEME QT_STYLE_OVERRIDE QT_SCALE_FACTOR QT_SCREEN_SCALE_FACTORS
unset WAYLAND_DISPLAY QT_QPA_PLATFORM XDG_RUNTIME_DIR
export QT_AUTO_SCREEN_SCALE_FACTOR=0

# A second user runs a copy from the same program folder: everything here is readable by
# all. The lock folders go to a shared temporary folder of this run (mode 1777, as /tmp),
# so nothing of other runs or users on the machine is touched.
work=$(mktemp -d /tmp/tovanik-x11.XXXXXX)
chmod 755 "$work"
shared_tmp=$work/tmp
mkdir -m 1777 "$shared_tmp"
other_home=$work/nobody
mkdir -p "$other_home"
chown 65534:65534 "$other_home"
export TMPDIR=$shared_tmp XDG_CONFIG_HOME=$work/xdg-config XDG_STATE_HOME=$work/state
readonly SCREEN_W=1280 SCREEN_H=800 NOBODY=65534
folder=""

ctl() { "$folder/tovanikctl" --folder "$folder" "$@"; }
cleanup() {
  kill_panels
  # The server runs under a name of this run alone, so the stop ends nothing else.
  [[ -n "$folder" && -x "$folder/tovanikctl" ]] && ctl stop >/dev/null 2>&1
  stop_display
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM HUP

start_xvfb "$SCREEN_W" "$SCREEN_H" || exit 1
start_openbox
check "window manager runs on $DISPLAY" wm_up

folder=$work/program
"$src/packaging/layout.sh" "$build" "$folder" >/dev/null
chmod -R a+rX "$folder"
exe=tvkx$$.exe
ln -s "$(readlink "$folder/php/t-server.exe")" "$folder/php/$exe"
ctl config set exe_name "$exe"
port=$(free_port)
ctl config set server_port "$port"

# The copies of each user: root's as this script runs, nobody's through setpriv, both
# without a runtime folder.
start_root_copy() { start_panel "$folder" "$work/panel-root.log"; }
start_other_copy() {
  start_panel "$folder" "$work/panel-nobody.log" HOME="$other_home" XDG_STATE_HOME="$other_home/state" \
    XDG_CONFIG_HOME="$other_home/config" setpriv --reuid=$NOBODY --regid=$NOBODY --clear-groups
}
window_count() { [[ $(panel_windows | wc -l) -eq $1 ]]; }
pid_window() { xdotool search --onlyvisible --pid "$1" --name '^Tovanik PHP Web Server$' 2>/dev/null; }
has_window() { [[ -n $(pid_window "$1") ]]; }
uid_of() { awk '/^Uid:/ { print $2 }' "/proc/$1/status" 2>/dev/null; }

# ---------------------------------------------------------------- fast drag bursts
start_root_copy
root_copy=$panel_pid
check "root's panel window appears" poll 20 has_window "$root_copy"
win=$(pid_window "$root_copy")
check "the server answers HTTP 200 on port $port" poll 20 http_ok "$port"
poll 5 read_window_position
at_position() { read_window_position && [[ $win_x -eq $1 && $win_y -eq $2 ]]; }

# Each burst presses on the bare header and jumps the pointer five times by 50 px with
# no delay, so the panel sees several motions before the window manager has applied the
# first move; then releases. The window must land exactly where the pointer's travel
# puts it, every time.
bursts=12
landed=0
start_x=$win_x
start_y=$win_y
expect_x=$win_x
expect_y=$win_y
for ((b = 1; b <= bursts; b++)); do
  dx=$((b % 2 ? 50 : -50))  # right and left in turn, downwards: 360 px net
  dy=6
  # The pointer goes to the bare header, where the window should be. (No --sync: it
  # waits for a motion that never comes when the pointer is there already.)
  x=$((expect_x + 200))
  y=$((expect_y + 40))
  xdotool mousemove "$x" "$y"
  jumps=()
  for ((j = 1; j <= 5; j++)); do jumps+=(mousemove $((x + j * dx)) $((y + j * dy))); done
  xdotool mousedown 1 "${jumps[@]}" mouseup 1
  expect_x=$((expect_x + 5 * dx))
  expect_y=$((expect_y + 5 * dy))
  if poll 10 at_position "$expect_x" "$expect_y"; then
    landed=$((landed + 1))
  else
    echo "# burst $b: window at $win_x,$win_y, the pointer's travel puts it at $expect_x,$expect_y"
  fi
done
check "$landed of $bursts bursts of 50 px jumps moved the window exactly by the pointer's travel" \
  [ "$landed" -eq "$bursts" ]
read_window_position
check "the window's final offset ($((win_x - start_x)),$((win_y - start_y))) equals the pointer's travel ($((expect_x - start_x)),$((expect_y - start_y)))" \
  [ "$win_x" -eq "$expect_x" -a "$win_y" -eq "$expect_y" ]
xdotool mousemove 10 10

# ---------------------------------------------------------------- two users, killed copies
start_other_copy
other_copy=$panel_pid
check "nobody's copy of the same program shows its window beside root's" poll 20 has_window "$other_copy"
check "both windows are there" poll 20 window_count 2
check "nobody's copy runs as nobody (uid $(uid_of "$other_copy"))" [ "$(uid_of "$other_copy")" == $NOBODY ]
private_folder() {  # private_folder UID: tovanik-UID in the shared temporary folder, 0700, owned by UID
  [[ $(stat -c '%u %a %F' "$shared_tmp/tovanik-$1" 2>/dev/null) == "$1 700 directory" ]]
}
check "each user's lock lies in a 0700 folder of his own" eval 'private_folder 0 && private_folder $NOBODY'

start_root_copy
check "a second copy of root's still ends by itself, unseen" wait_panel "$panel_pid"
check "... with status 0 (got ${panel_status:-none})" [ "${panel_status:-1}" -eq 0 ]
check "still two windows" poll 20 window_count 2

kill -KILL "$root_copy"
wait_panel "$root_copy"
check "root's copy killed with SIGKILL: its window goes, nobody's stays" poll 20 window_count 1
start_root_copy
root_copy=$panel_pid
check "the next copy of root's starts and shows its window" poll 20 has_window "$root_copy"

kill -KILL "$other_copy"
wait_panel "$other_copy"
start_other_copy
other_copy=$panel_pid
check "after nobody's copy was killed with SIGKILL, nobody's next copy shows" poll 20 has_window "$other_copy"

kill -TERM "$root_copy"
wait_panel "$root_copy"
start_root_copy
root_copy=$panel_pid
check "after root's copy ended by SIGTERM, root's next copy shows" poll 20 has_window "$root_copy"
check "two windows at the end" poll 20 window_count 2

check "no sanitizer reports in the panels' output" sanitizer_quiet
finish_report
