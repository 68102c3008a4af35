#!/usr/bin/env bash
# Real-display test of the Windows panel under Wine: a virtual X display (Xvfb) with a
# window manager (openbox), the zip as shipped (cpack) unpacked into a folder whose path
# holds a blank and a non-ASCII letter, the stand-in server (stand_in_server.exe) as its
# php\t-server.exe, and the programs in a Wine prefix of the build folder. Drives the
# panel with the pointer and keyboard (xdotool), reads its look from screenshots and asks
# the server for a page (curl).
#
# Usage: tests/display/windows_test.sh BUILD_DIR   (the Windows build: the programs, the
# stand-in server and CPackConfig.cmake in it)
# Prints "ok - ..." / "not ok - ..." per check and "N passed, M failed" at the end; exits
# non-zero when a check fails. Leaves the window's screenshot, running, as
# BUILD_DIR/display-windows-panel.png.
#
# Not checked here: the hand pointer (X has no way to read the pointer's image back); a
# change of monitor (WM_DPICHANGED: Wine has one DPI for the whole display).
set -uo pipefail

src=$(cd "$(dirname "$0")/../.." && pwd)
source "$src/tests/display/lib.sh"
if [[ $# -ne 1 || ! -f "$1/tovanik-webserver.exe" || ! -f "$1/stand_in_server.exe" ||
      ! -f "$1/accessible_client.exe" || ! -f "$1/CPackConfig.cmake" ]]; then
  echo "usage: $0 BUILD_DIR   (with tovanik-webserver.exe, stand_in_server.exe," \
    "accessible_client.exe and CPackConfig.cmake in it)" >&2
  exit 2
fi
build=$(cd "$1" && pwd)
require_tools Xvfb openbox xdotool xprop xwininfo xdpyinfo import od wine wineserver strings \
  cpack cmake curl

readonly SCREEN_W=1280 SCREEN_H=800 WIN_W=314 WIN_H=290

# The test's own Wine prefix in the build folder, made once: Wine has no Segoe UI, and
# finds its Tahoma only in the prefix's font folder.
export WINEPREFIX=$build/wine-display WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
if [[ ! -f "$WINEPREFIX/system.reg" ]]; then
  wine wineboot -i >/dev/null 2>&1
  wineserver -w
fi
mkdir -p "$WINEPREFIX/drive_c/windows/Fonts"
cp /usr/share/wine/fonts/tahoma*.ttf "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null
# No program of an earlier run may hold on to a display that is gone.
wineserver -k 2>/dev/null

work=$(mktemp -d /tmp/tovanik-windows.XXXXXX)
chmod 700 "$work"
cleanup() {
  wineserver -k 2>/dev/null
  stop_display
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM HUP

# The screen's DPI as Wine reports it to programs (96 unless set).
set_dpi() {
  wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f >/dev/null 2>&1
  wineserver -w
}

# ---------------------------------------------------------------- the program folder
# The zip as cpack makes it, unpacked where a user might, with the stand-in in PHP's place
# and a free port set by the unpacked tovanikctl.exe.
cpack --config "$build/CPackConfig.cmake" -B "$work/package" >"$work/cpack.log" 2>&1
zip=$(echo "$work"/package/tovanik-*-windows-x86_64.zip)
mkdir -p "$work/My Apps Zoë"
(cd "$work/My Apps Zoë" && cmake -E tar xf "$zip") 2>>"$work/cpack.log"
folder=$(echo "$work/My Apps Zoë"/tovanik-*-windows-x86_64)
if [[ ! -f "$folder/tovanik-webserver.exe" || ! -f "$folder/tovanikctl.exe" ]]; then
  echo "windows_test: cpack made no zip holding the programs, stopping here" >&2
  cat "$work/cpack.log" >&2
  exit 1
fi
cp "$build/stand_in_server.exe" "$folder/php/t-server.exe"
ctl() { wine "$folder/tovanikctl.exe" "$@" 2>>"$work/tovanikctl.log" | tr -d '\r'; }
stored_port() { sed -n 's/^server_port=//p' "$folder/config/config.ini" | tr -d '\r'; }
port_is() { [[ $(stored_port) == "$1" ]]; }
port=$(free_port)
ctl config set server_port "$port" >/dev/null
check "tovanikctl.exe config set server_port $port stores it (got $(stored_port))" port_is "$port"

panel_pid=""
start_panel() {  # start_panel LOG: the panel under Wine, from /tmp as a user would
  (cd /tmp && exec wine "$folder/tovanik-webserver.exe") >>"$1" 2>&1 &
  panel_pid=$!
}
ended() { ! kill -0 "$1" 2>/dev/null; }
exit_status() {  # exit_status PID: waits for the process; its status is in $status
  status=""
  poll 20 ended "$1" || return 1
  wait "$1"
  status=$?
}
wait_window() {
  win=""
  poll 30 find_panel_window && read_window_position
}

# ---------------------------------------------------------------- pointer and screenshots
# Pointer: window coordinates. After a click the pointer goes off the window, so that a
# tooltip never lies over the pixels that are read.
away() { pointer_to 5 5; }
click_at() {  # the button held 50 ms, as a person clicks
  point "$1" "$2"
  point $(($1 + 1)) "$2"
  xdotool mousedown 1
  sleep 0.05
  xdotool mouseup 1
}
corners_cut() {  # corners_cut WHEN: the desktop shows through the outline's corners and edges
  local when=$1 corner got outside
  outside=$(root_px $((win_x - 3)) $((win_y + 20)))
  for corner in "0 0" "$((win_w - 1)) $((win_h / 2))" "$((win_w / 2)) $((win_h - 1))" \
    "$((win_w - 1)) $((win_h - 1))"; do
    set -- $corner
    got=$(px "$1" "$2")
    check "$when: the outline cuts ($1,$2), the desktop #$outside shows (got #$got)" \
      eval '[ "$got" == "$outside" -a "$got" != 353C42 -a "$got" != 2B2E31 ]'
  done
}

# The start/stop switch: green track with the disc right (shapeOn) while the panel shows
# the server running, grey track with the disc left (shapeOff) while stopped. The address
# is blue while running, button face while stopped.
looks_running() { snap && px_is 269 56 4DBD74 && px_is 288 56 F0F0F0; }
looks_stopped() { snap && px_is 288 56 5B6063 && px_is 269 56 F0F0F0; }
url_blue() { (($(count_px 136 96 145 17 008CCA) >= 20 && $(count_px 136 96 145 17 F0F0F0) == 0)); }
url_light() { (($(count_px 136 96 145 17 F0F0F0) >= 20 && $(count_px 136 96 145 17 008CCA) == 0)); }
zoom=100  # the display's scale in per cent: 150 at 144 dpi
z() { echo $(($1 * zoom / 100)); }  # a place at 96 dpi, at the display's scale
min_is() { snap && px_is "$(z 248)" "$(z 16)" "$1"; }
close_is() { snap && px_is 288 16 "$1"; }
panel_tops() { xdotool search --onlyvisible --classname 'tovanik-webserver.exe' 2>/dev/null | wc -l; }
no_tooltip() { (($(panel_tops) == 1)); }
# settled: every key and click sent before it has been handled. The pointer goes over the
# minimise mark, then over the bare header; the panel takes that motion only after the
# input queued before it (and the characters the keys made), so once the mark has turned
# #FFC107 and back, what was typed or clicked has had its effect or never will.
settled() {
  point "$(z 250)" "$(z 14)"
  point "$(z 252)" "$(z 15)"
  poll 20 min_is FFC107 || return 1
  point "$(z 200)" "$(z 40)"
  point "$(z 201)" "$(z 42)"
  poll 20 min_is ECBC2C || return 1
  away
  poll 20 no_tooltip
}

# ---------------------------------------------------------------- the virtual display
start_xvfb "$SCREEN_W" "$SCREEN_H" || exit 1
start_openbox
check "window manager runs on $DISPLAY" wm_up
set_dpi 96

away  # the window opens where nobody points
start_panel "$work/panel.log"
first=$panel_pid
check "the panel's window appears with its title" wait_window
[[ -n "$win" ]] || { echo "windows_test: no window, stopping here" >&2; cat "$work/panel.log" >&2; exit 1; }
common_controls() { grep -qi 'comctl32' "/proc/$first/maps"; }
check "the common controls are not loaded while nobody has pointed at the window" \
  eval '! common_controls'
# Over the bare header first, so that no hover is left behind.
point 200 40
away
check "window is 314x290 (got ${win_w}x${win_h})" [ "$win_w" -eq $WIN_W -a "$win_h" -eq $WIN_H ]
check "window is centred on the work area (at $win_x,$win_y)" \
  [ "$win_x" -eq $(((SCREEN_W - WIN_W) / 2)) -a "$win_y" -eq $(((SCREEN_H - WIN_H) / 2)) ]
check "window stays on top (_NET_WM_STATE_ABOVE)" \
  eval 'xprop -id "$win" _NET_WM_STATE | grep -q _NET_WM_STATE_ABOVE'
check "window carries the icon from the program's resources" \
  eval 'xprop -id "$win" _NET_WM_ICON | grep -q "Icon ("'
version=$(sed -n 's/^project(tovanik VERSION \([0-9.]*\).*/\1/p' "$src/CMakeLists.txt")
check "the program file's version resource says $version" \
  eval 'strings -el -n 3 "$folder/tovanik-webserver.exe" | grep -A1 -x FileVersion | grep -qx "$version"'

# ---------------------------------------------------------------- opening starts the server
check "opening the panel starts the server: HTTP 200 on port $port" poll 20 http_ok "$port"
poll 20 no_tooltip
poll 20 looks_running  # the rows below say what the last snap showed
design_px "after a tick, running: start/stop track" 269 56 4DBD74
design_px "after a tick, running: start/stop disc at the right end (shapeOn)" 288 56 F0F0F0
check "after a tick, running: the address is drawn in blue" url_blue
import -display "$DISPLAY" -window root -crop "${WIN_W}x${WIN_H}+${win_x}+${win_y}" +repage \
  "$build/display-windows-panel.png" 2>/dev/null
# Pixels of the design, away from the edges of shapes.
check_design_pixels
design_px "console track (hidden)" 277 136 5B6063
design_px "console disc at the left end" 256 136 F0F0F0
design_px "port box, disabled while running" 242 178 2B2E31
# The rounded cards end where the design's rectangles do, as the Linux build draws them
# (Shape1's bottom lies under Shape5).
design_px "card Shape1, its last column" 296 108 2B2E31
design_px "right of card Shape1" 297 108 353C42
design_px "card Shape7, its last column" 296 225 2B2E31
design_px "right of card Shape7" 297 225 353C42
design_px "card Shape7, its last row" 150 249 2B2E31
design_px "below card Shape7" 150 250 353C42
corners_cut "96 dpi"
# Drawn without a clip, a caption too wide for its label would run on beyond it: the
# design's fonts are missing here, and their stand-ins run wider.
check "\"Command Prompt\" stays within its label (nothing light right of x=145)" \
  eval '(($(count_px 32 128 113 17 F0F0F0) >= 20 && $(count_px 145 128 60 17 F0F0F0) == 0))'
check "\"PHP Web Server\" stays within its label (nothing light right of x=143)" \
  eval '(($(count_px 38 50 105 17 F0F0F0) >= 20 && $(count_px 143 50 60 17 F0F0F0) == 0))'

# ---------------------------------------------------------------- hover and tooltips
point 250 14
point 252 15
check "pointer over lblMin turns the minimise mark #FFC107" poll 20 min_is FFC107
point 200 40
point 201 42
check "pointer over the bare header turns it back to #ECBC2C" poll 20 min_is ECBC2C
point 292 14
point 293 15
check "pointer over lblClose turns the close mark #F86C6B" poll 20 close_is F86C6B
point 120 12
point 121 13
check "pointer over the accent bar (a line) puts it back to #FD5C5C" poll 20 close_is FD5C5C
point 60 232
point 61 232
check "resting on \"Configuration\" shows its tooltip (a second window of the panel)" \
  poll 20 eval '(($(panel_tops) == 2))'
# The tip's text, read from its window's name (the panel names the tip after its text).
tooltip_is() {
  local id
  for id in $(xdotool search --onlyvisible --classname 'tovanik-webserver.exe' 2>/dev/null); do
    [[ "$(xdotool getwindowname "$id" 2>/dev/null)" == "$1" ]] && return 0
  done
  return 1
}
check "... and it reads \"Open configuration file\"" poll 20 tooltip_is "Open configuration file"
check "... the common controls' own tooltip, loaded for it" common_controls
away
poll 20 no_tooltip
point 250 104
point 251 105
check "resting on the address shows \"Open http://localhost:$port\"" \
  poll 20 tooltip_is "Open http://localhost:$port"
away
poll 20 no_tooltip

# ---------------------------------------------------------------- the switch stops the server
click_at 280 56
away
check "a click on the start/stop switch stops the server: no answer on port $port" \
  poll 20 http_down "$port"
poll 20 looks_stopped
design_px "stopped: start/stop track" 288 56 5B6063
design_px "stopped: start/stop disc at the left end (shapeOff)" 269 56 F0F0F0
check "stopped: the address is drawn in button face" url_light
design_px "stopped: port box at rest" 242 178 2B2E31

# ---------------------------------------------------------------- the port box
port_editing() { snap && px_is 242 178 24282B; }
click_at 245 170
check "a press on the port box darkens it to #24282B" poll 20 port_editing
new_port=$(free_port "$port")
xdotool key --delay 50 ctrl+a
xdotool type --delay 80 "$new_port"
check "typing in the port box stores each keystroke: server_port=$new_port" poll 20 port_is "$new_port"
# A letter is undone at once and the caret put back at the end: BackSpace takes the last
# digit, and the next digit goes after the others (an EDIT's caret would be at the start
# after its text was replaced: BackSpace would do nothing, and a sixth digit is no port).
xdotool type --delay 80 x
check "a letter is refused: server_port=$new_port kept" eval 'settled && port_is "$new_port"'
xdotool key --delay 80 BackSpace
xdotool type --delay 80 7
check "the caret is back at the end: BackSpace and a digit store ${new_port%?}7" \
  poll 20 port_is "${new_port%?}7"
# Each BackSpace stores the shorter port; the box can never be left empty: emptied, it
# gets the stored port (the first digit, stored on the way) back.
xdotool key --delay 80 BackSpace BackSpace BackSpace BackSpace BackSpace BackSpace BackSpace
check "BackSpace stores each shorter port, down to ${new_port:0:1}" poll 20 port_is "${new_port:0:1}"
away
check "the emptied box shows the stored port again" \
  poll 20 eval 'snap && (($(count_px 241 160 40 18 F0F0F0) >= 5))'
xdotool type --delay 80 "${new_port:1}"
check "typing after it stores server_port=$new_port" poll 20 port_is "$new_port"
# Ctrl+A and a refused key keep the port selected: the digits typed next replace it.
xdotool key --delay 80 ctrl+a 1 ctrl+a 0
xdotool type --delay 80 "$new_port"
check "Ctrl+A, a refused 0, then $new_port: stores $new_port" poll 20 port_is "$new_port"

# ---------------------------------------------------------------- the switch starts it again
click_at 280 56
away
check "another click on the switch starts the server on the port typed: HTTP 200 on $new_port" \
  poll 20 http_ok "$new_port"
check "running again: green track, disc right" poll 20 looks_running
# The keyboard alone: Tab marks the switch in blue, Space stops and starts the server.
mark_on_switch() { snap && px_is 257 56 008CCA; }
check "at rest no focus mark shows" eval '! mark_on_switch'
xdotool key Tab
check "Tab puts the focus mark around the switch" poll 20 mark_on_switch
xdotool key space
check "Space on the switch stops the server" poll 20 eval 'http_down "$new_port" && looks_stopped'
xdotool key space
check "Space again starts it: HTTP 200 on $new_port" poll 20 eval 'http_ok "$new_port" && looks_running'
click_at 200 40
check "a pointer press takes the mark away" poll 20 eval '! mark_on_switch'
# Screen readers: the panel's client area as another process's MSAA client reads it,
# "role|name|description|states" a control (accessible_client.exe); `press NAME` runs a
# control's default action first, `events NAME` too, and lists the events it raised.
a11y() {
  rm -f "$work/a11y.txt"
  wine "$build/accessible_client.exe" "Z:$work/a11y.txt" "$@" >>"$work/a11y.log" 2>&1
  tr -d '\r' <"$work/a11y.txt" 2>>"$work/a11y.log"
}
a11y_has() { a11y | grep -xF "$1" >/dev/null; }
check "MSAA: the switch, a check button, reads running" \
  poll 20 a11y_has "checkbutton|Server: running|Start / Stop Server|checked,focusable"
a11y >"$work/a11y-tree.txt"
for row in "checkbutton|PHP command prompt: hidden|Show / Hide PHP Command Prompt|focusable" \
  "text|Server port|Change server port|unavailable" \
  "link|http://localhost:$new_port|Open http://localhost:$new_port|focusable" \
  "link|Configuration|Open configuration file|focusable" "pushbutton|Minimize|Minimize|focusable" \
  "pushbutton|Close|Close|focusable"; do
  check "MSAA lists $row" grep -qxF "$row" "$work/a11y-tree.txt"
done
a11y events "Server" >"$work/a11y-events.txt"
check "MSAA: the switch's default action stops the server" poll 20 http_down "$new_port"
for row in "event statechange 1" "event namechange 1"; do
  check "MSAA: ... and raises \"$row\" (its state and name changed)" \
    grep -qxF "$row" "$work/a11y-events.txt"
done
check "... and the switch reads stopped" \
  poll 20 a11y_has "checkbutton|Server: stopped|Start / Stop Server|focusable"
a11y press "Server" >/dev/null
check "MSAA: its default action starts the server: HTTP 200 on $new_port" poll 20 http_ok "$new_port"
# The port box shows the five digits typed whole: a box that scrolled its text would show
# a cut digit in its first columns (the box: 240 to 281, 160 to 180).
# (The box is disabled: its digits are grey.)
box_clear=$(count_px 240 160 2 20 2B2E31) box_ink=$((39 * 20 - $(count_px 242 160 39 20 2B2E31)))
check "the port box shows its 5-digit port whole (its first columns clear: $box_clear of 40; ink $box_ink)" \
  eval '((box_clear == 40 && box_ink >= 40))'
# While it runs the port box is disabled: a press gives it no keys (a BackSpace in it
# would store the shorter port).
click_at 245 170
xdotool key --delay 50 BackSpace
check "while it runs, keys after a press on the port box change nothing (server_port=$new_port)" \
  eval 'settled && port_is "$new_port"'

# ---------------------------------------------------------------- dragging
drag_by() {  # drag_by DX DY [X Y]: from the bare header (or X,Y), in four steps, then release
  local i x=${3:-200} y=${4:-40}
  point "$x" "$y"
  xdotool mousedown 1
  for i in 1 2 3 4; do xdotool mousemove $((win_x + x + i * $1 / 4)) $((win_y + y + i * $2 / 4)); done
  sleep 0.05
  xdotool mouseup 1
}
start_x=$win_x
start_y=$win_y
drag_by 40 20
check "dragging the bare surface moves the window by exactly (40,20)" \
  poll 20 at_position $((start_x + 40)) $((start_y + 20))
drag_by -240 -120
check "a fast drag of (-240,-120) lands exactly, no overshoot" \
  poll 20 at_position $((start_x - 200)) $((start_y - 100))
drag_by 200 100
poll 20 at_position "$start_x" "$start_y"
# A press on a label neither drags nor moves the anchor.
point 60 100
xdotool mousedown 1
xdotool mousemove $((win_x + 90)) $((win_y + 130))
sleep 0.05
xdotool mouseup 1
check "pressing a label and moving does not drag" eval 'settled && at_position "$start_x" "$start_y"'

# ---------------------------------------------------------------- minimise, one copy only
iconic() { xprop -id "$win" WM_STATE 2>/dev/null | grep -q 'window state: Iconic'; }
click_at 250 16
check "a click on the minimise mark minimises the window" poll 20 iconic
start_panel "$work/panel-second.log"
second=$panel_pid
check "a second copy of the panel ends by itself" exit_status "$second"
check "the second copy ends with status 0 (got ${status:-none})" [ "${status:-1}" -eq 0 ]
check "it brings the first copy back from the taskbar" poll 20 eval '! iconic && one_panel_window'
check "the first copy is still running" eval '! ended "$first"'
read_window_position
away
poll 20 looks_running  # painted again
corners_cut "after restoring"
# At rest the panel waits for its server's end or a change of its files, not for a tick:
# what tovanikctl.exe does to the server shows all the same.
ctl stop >/dev/null
check "a stop by tovanikctl.exe shows on the resting panel" poll 20 looks_stopped
ctl start >/dev/null
check "and so does a start" poll 20 looks_running

# ---------------------------------------------------------------- close
click_at 290 16
check "a click on the close mark ends the panel" exit_status "$first"
check "the panel ends with status 0 (got ${status:-none})" [ "${status:-1}" -eq 0 ]
check "no panel window is left" poll 20 no_panel_window
check "the server outlives the panel: HTTP 200 on port $new_port" http_ok "$new_port"
stopped=$(ctl stop)
code=$?
check "tovanikctl.exe stop ends it (exit status $code): $stopped" \
  eval '[ "$code" -eq 0 ] && grep -qx "stopped pid [0-9]* (this folder.s server)" <<<"$stopped"'
check "once tovanikctl.exe stop has returned, no answer on port $new_port" http_down "$new_port"

# ---------------------------------------------------------------- a display of 144 dpi
# Per-monitor DPI aware: at 150 % the window, its fonts and its outline are 1.5 times as
# large, drawn at that size rather than stretched. This time another program holds the
# port: the panel launches nothing onto it, shows the server stopped and says why on its
# switch.
wineserver -k 2>/dev/null  # whatever a failed check above left running
set_dpi 144
zoom=150
wine "$build/stand_in_server.exe" -S "0.0.0.0:$new_port" -t "$folder/tovanik" >>"$work/holder.log" 2>&1 &
holder=$!
poll 20 http_ok "$new_port"
start_panel "$work/panel-144.log"
check "at 144 dpi the window appears" wait_window
check "at 144 dpi the window is 471x435 (got ${win_w}x${win_h})" [ "$win_w" -eq 471 -a "$win_h" -eq 435 ]
check "at 144 dpi it is centred on the work area (at $win_x,$win_y)" \
  [ "$win_x" -eq $(((SCREEN_W - 471) / 2)) -a "$win_y" -eq $(((SCREEN_H - 435) / 2)) ]
point 300 60
away
# At start the focus is in txtFocus, below the window: keys reach no visible box, though
# the port box is enabled (a BackSpace in it would store the shorter port).
xdotool key --delay 50 BackSpace
check "keys typed at start reach no visible box (server_port=$new_port kept)" \
  eval 'settled && port_is "$new_port"'
launched_nothing() { ! ctl log 2>/dev/null | grep '^\[tovanik ' | tail -n 1 | grep -q "server started"; }
check "nothing was launched onto the port another program holds (no launch mark last in the log)" \
  eval 'settled && launched_nothing'
snap
design_px "144 dpi: accent bar" 150 24 008CCA
design_px "144 dpi: close mark" 432 24 FD5C5C
design_px "144 dpi: separator Line2" 300 180 5B6063
design_px "144 dpi: card, bottom row" 225 367 2B2E31
design_px "144 dpi, stopped: start/stop disc at the left end" 403 84 F0F0F0
design_px "144 dpi: card Shape1, its last column" 445 162 2B2E31
design_px "144 dpi: right of card Shape1" 446 162 353C42
design_px "144 dpi: card Shape7, its last row" 225 374 2B2E31
design_px "144 dpi: below card Shape7" 225 375 353C42
corners_cut "144 dpi"
check "144 dpi: \"Command Prompt\" drawn in a larger font, within its label" \
  eval '(($(count_px 48 192 170 26 F0F0F0) >= 45 && $(count_px 218 192 80 26 F0F0F0) == 0))'
# The captions of the window's font come from one family at this scale too: their capital
# letters' tops lie on one row of their labels, and none runs on past its label's end.
# name, left, top, width, height in twips (a tenth of a pixel at 144 dpi).
capitals=("Label8 480 1440 615 255" "Label5 480 1920 1695 255" "lbl1 480 2400 1095 255"
  "Label6 480 2880 1455 255" "labelConfig 480 3360 1335 255")
rows=()
for row in "${capitals[@]}"; do
  read -r name l t w h <<<"$row"
  r=$(first_ink_row $((l / 10)) $((t / 10)) $((w / 10)) $((h / 10)))
  check "144 dpi: $name's caption is drawn" [ "$r" != none ]
  rows+=("$r")
  check "144 dpi: $name's caption leaves its end column and beyond clear" \
    no_ink $(((l + w) / 10 - 1)) $((t / 10)) 3 $((h / 10))
done
lowest=$(printf '%s\n' "${rows[@]}" | sort -n | head -n1)
highest=$(printf '%s\n' "${rows[@]}" | sort -n | tail -n1)
check "144 dpi: the captions' capitals start on one row of their labels, one family (rows ${rows[*]})" \
  [ $((highest - lowest)) -le 1 ]
# The port box's font is fitted to five digits at this scale too: a box that scrolled its
# text would show a cut digit in its first columns.
# Without margins, its digits reach its right edge.
box_clear=$(count_px 360 240 2 30 2B2E31) box_ink=$((60 * 30 - $(count_px 362 240 60 30 2B2E31)))
box_end=$((8 * 30 - $(count_px 414 240 8 30 2B2E31)))
check "144 dpi: the port box shows its 5-digit port whole, to its right edge (first columns clear: $box_clear of 60; ink $box_ink, $box_end in the last 8 columns)" \
  eval '((box_clear == 60 && box_ink >= 80 && box_end >= 10))'
# Nothing is launched onto a port another program holds; Wine names no holder.
tooltip_like() {  # tooltip_like PATTERN: a shown tip's text matches the glob
  local id
  for id in $(xdotool search --onlyvisible --classname 'tovanik-webserver.exe' 2>/dev/null); do
    # shellcheck disable=SC2053 # a glob on purpose
    [[ "$(xdotool getwindowname "$id" 2>/dev/null)" == $1 ]] && return 0
  done
  return 1
}
switch_says_why() {
  point 300 60
  point 405 84
  point 406 85
  poll 3 tooltip_like "port $new_port is taken by another program"
}
check "144 dpi: resting on the switch shows why: \"port $new_port is taken by another program\"" \
  poll 20 switch_says_why
check "MSAA: the switch's description says why too" \
  a11y_has "checkbutton|Server: stopped|port $new_port is taken by another program|focusable"
away
poll 20 no_tooltip
# The other program ends; a click on the switch starts the server.
kill "$holder"
wait "$holder" 2>/dev/null
poll 20 http_down "$new_port"
click_at 420 84
away
check "at 144 dpi, the port free, a click on the switch starts the server: HTTP 200" \
  poll 20 http_ok "$new_port"
looks_running_144() { snap && px_is 403 84 4DBD74 && px_is 430 84 F0F0F0; }
poll 20 looks_running_144  # the rows below say what the last snap showed
design_px "144 dpi, running: start/stop track" 403 84 4DBD74
design_px "144 dpi, running: start/stop disc at the right end" 430 84 F0F0F0
# The drag in device pixels: 10 twips each at 144 dpi.
start_x=$win_x
start_y=$win_y
drag_by 40 20 300 60
check "144 dpi: dragging the bare surface moves the window by exactly (40,20)" \
  poll 20 at_position $((start_x + 40)) $((start_y + 20))

# The accessible object in the window's own process, where it is no proxy: kept past its
# window, it says it is not connected (a GoogleTest program; it needs this display).
check "MSAA in-process: an object kept past its window answers CO_E_OBJNOTCONNECTED" \
  eval 'wine "$build/test_accessible_window.exe" >"$work/in-process.log" 2>&1'

finish_report
