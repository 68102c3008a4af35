#!/usr/bin/env bash
# The panel on an X11 desktop (Xvfb + openbox), beyond display_test.sh: dragging with
# fast bursts of pointer motion, and the single-copy lock without $XDG_RUNTIME_DIR
# between two users (root and a user made for this run, through setpriv), against a
# third (nobody) who plants folders in the shared temporary folder, with root given the
# other user's environment (sudo -E), and after a copy was killed. The part with other
# users needs root; it is skipped otherwise.
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
# all. The shared temporary folder is one of this run (mode 1777, as /tmp), and every
# home and state folder lies in $work, so nothing of other runs or users is touched.
work=$(mktemp -d /tmp/tovanik-x11.XXXXXX)
chmod 755 "$work"
shared_tmp=$work/tmp
mkdir -m 1777 "$shared_tmp"
export TMPDIR=$shared_tmp XDG_CONFIG_HOME=$work/xdg-config XDG_STATE_HOME=$work/state
mkdir -m 700 "$XDG_STATE_HOME"  # made now: root takes only a state folder that exists
readonly SCREEN_W=1280 SCREEN_H=800 NOBODY=65534
folder=""
vic=""  # the user made for this run

ctl() { "$folder/tovanikctl" --folder "$folder" "$@"; }
cleanup() {
  kill_panels
  # The server runs under a name of this run alone, so the stop ends nothing else.
  [[ -n "$folder" && -x "$folder/tovanikctl" ]] && ctl stop >/dev/null 2>&1
  stop_display
  [[ -n "$vic" ]] && userdel "$vic" 2>/dev/null
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

start_root_copy() { start_panel "$folder" "$work/panel-root.log" "${root_env[@]}"; }
root_env=()
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
if ((EUID != 0)); then
  echo "# skipped: the single-copy lock between users needs root, to make a second user"
  kill_panels
  check "no sanitizer reports in the panels' output" sanitizer_quiet
  finish_report
  exit
fi

vic=tvk$$
useradd --system --no-create-home --home-dir "$work/$vic" --shell /usr/sbin/nologin "$vic" ||
  { not_ok "cannot make the user $vic"; finish_report; exit; }
vic_uid=$(id -u "$vic")
vic_home=$work/$vic
mkdir -m 700 "$vic_home"
chown "$vic:$vic" "$vic_home"
# vic's copies: no runtime folder, no XDG_STATE_HOME, so the lock goes under the home.
start_vic_copy() {
  start_panel "$folder" "$work/panel-vic.log" -u XDG_STATE_HOME HOME="$vic_home" \
    XDG_CONFIG_HOME="$vic_home/.config" setpriv --reuid="$vic" --regid="$vic" --clear-groups
}
# Root run with vic's environment (sudo -E): vic's runtime and state folders must not
# count, root's own home must.
vic_env=$work/vic-env
mkdir -m 700 "$vic_env" "$vic_env/runtime" "$vic_env/state"
chown -R "$vic:$vic" "$vic_env"
root_home=$work/root-home
mkdir -m 700 "$root_home"
root_env=(HOME="$root_home" XDG_RUNTIME_DIR="$vic_env/runtime" XDG_STATE_HOME="$vic_env/state")

# The attack: another user (nobody) makes the folders where the lock used to go without
# a runtime folder, open to all, before either user starts the panel.
plant() { setpriv --reuid=$NOBODY --regid=$NOBODY --clear-groups mkdir -m 777 "$shared_tmp/tovanik-$1"; }
check "nobody plants tovanik-$vic_uid and tovanik-0, mode 777, in the shared temporary folder" \
  eval 'plant "$vic_uid" && plant 0'
kill -TERM "$root_copy"
wait_panel "$root_copy"

start_root_copy
root_copy=$panel_pid
check "root's copy, with $vic's environment, shows its window" poll 20 has_window "$root_copy"
start_vic_copy
vic_copy=$panel_pid
check "$vic's copy of the same program shows its window beside root's" poll 20 has_window "$vic_copy"
check "both windows are there" poll 20 window_count 2
check "$vic's copy runs as $vic (uid $(uid_of "$vic_copy"))" [ "$(uid_of "$vic_copy")" == "$vic_uid" ]
lock_in() {  # lock_in FOLDER UID: a lock file in FOLDER, a folder of UID's with mode 0700
  [[ $(stat -c '%u %a %F' "$1" 2>/dev/null) == "$2 700 directory" ]] &&
    compgen -G "$1/tovanik-webserver-*.lock" >/dev/null
}
check "$vic's lock lies in ~/.local/state/tovanik, 0700, his own" lock_in "$vic_home/.local/state/tovanik" "$vic_uid"
check "root's lock lies in root's home, not in $vic's runtime or state folder" \
  eval 'lock_in "$root_home/.local/state/tovanik" 0 && ! compgen -G "$vic_env/*/tovanik-webserver-*.lock" && ! compgen -G "$vic_env/state/tovanik/tovanik-webserver-*.lock"'
check "nothing of the lock in the shared temporary folder's planted folders" \
  eval '[ -z "$(find "$shared_tmp/tovanik-$vic_uid" "$shared_tmp/tovanik-0" -mindepth 1)" ]'

start_vic_copy
check "a second copy of $vic's ends by itself, unseen, despite the planted folder" wait_panel "$panel_pid"
check "... with status 0 (got ${panel_status:-none})" [ "${panel_status:-1}" -eq 0 ]
start_root_copy
check "a second copy of root's still ends by itself, unseen" wait_panel "$panel_pid"
check "... with status 0 (got ${panel_status:-none})" [ "${panel_status:-1}" -eq 0 ]
check "still two windows" poll 20 window_count 2
check "no copy ran without its single-copy test" eval '! grep -h "no single-copy test" "$work"/panel-*.log'

kill -KILL "$root_copy"
wait_panel "$root_copy"
check "root's copy killed with SIGKILL: its window goes, $vic's stays" poll 20 window_count 1
start_root_copy
root_copy=$panel_pid
check "the next copy of root's starts and shows its window" poll 20 has_window "$root_copy"

kill -KILL "$vic_copy"
wait_panel "$vic_copy"
start_vic_copy
vic_copy=$panel_pid
check "after $vic's copy was killed with SIGKILL, $vic's next copy shows" poll 20 has_window "$vic_copy"

kill -TERM "$root_copy"
wait_panel "$root_copy"
start_root_copy
root_copy=$panel_pid
check "after root's copy ended by SIGTERM, root's next copy shows" poll 20 has_window "$root_copy"
check "two windows at the end" poll 20 window_count 2

check "no sanitizer reports in the panels' output" sanitizer_quiet
finish_report
