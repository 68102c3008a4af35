#!/usr/bin/env bash
# Real-display test of the panel: a virtual X display (Xvfb) with a window manager
# (openbox), a laid-out program folder and the real PHP server. Drives the panel with
# the pointer and keyboard (xdotool), reads its look from screenshots and checks the
# server over loopback HTTP.
#
# Usage: tests/display/display_test.sh BUILD_DIR
# Prints "ok - ..." / "not ok - ..." per check and "N passed, M failed" at the end;
# exits non-zero when a check fails. Leaves the window's screenshot as
# BUILD_DIR/display-test-panel.png.
set -uo pipefail

src=$(cd "$(dirname "$0")/../.." && pwd)
source "$src/tests/display/lib.sh"
use_build_dir "$@"
require_tools Xvfb openbox xdotool xprop xwininfo xdpyinfo import curl od php fc-match

# Sanitizer builds: Qt and fontconfig keep memory until exit, which is no leak of ours.
export ASAN_OPTIONS=detect_leaks=0
# The panel's look must not follow whatever desktop theme the caller runs.
unset QT_QPA_PLATFORMTHEME QT_STYLE_OVERRIDE QT_SCALE_FACTOR QT_SCREEN_SCALE_FACTORS
export QT_QPA_PLATFORM=xcb
export QT_AUTO_SCREEN_SCALE_FACTOR=0

work=$(mktemp -d /tmp/tovanik-display.XXXXXX)
chmod 700 "$work"
# The single-instance lock lives in the runtime folder: a private one keeps this run
# apart from panels that anybody else runs on the machine.
export XDG_RUNTIME_DIR=$work/runtime
mkdir -m 700 "$XDG_RUNTIME_DIR"
# No desktop defaults of the caller's account: an address is opened through $BROWSER.
export XDG_CONFIG_HOME=$work/xdg-config XDG_DATA_HOME=$work/xdg-data XDG_STATE_HOME=$work/state
mkdir -p "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" "$XDG_STATE_HOME"

readonly SCREEN_W=1280 SCREEN_H=800 WIN_W=314 WIN_H=290
folder=""   # the main program folder, whose servers are stopped at the end

cleanup() {
  kill_panels
  [[ -n "${bus_pid:-}" ]] && kill "$bus_pid" 2>/dev/null
  # The main folder's server runs under a name of this run alone (see below), so
  # stopping it by name ends nothing that belongs to anybody else. Stopping it also
  # ends a terminal that holds it.
  [[ -n "$folder" && -x "$folder/tovanikctl" ]] && "$folder/tovanikctl" --folder "$folder" stop >/dev/null 2>&1
  stop_display
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 130' INT TERM HUP

# ---------------------------------------------------------------- helpers: the display
# The address and product name: text in blue while the server runs, in button face
# otherwise. Glyph stems give pixels of the exact text colour.
url_blue() { (($(count_px 136 96 145 17 008CCA) >= 20)); }
url_light() { (($(count_px 136 96 145 17 008CCA) == 0 && $(count_px 136 96 145 17 F0F0F0) >= 20)); }
name_blue() { (($(count_px 16 26 129 22 008CCA) >= 100)); }
name_light() { (($(count_px 16 26 129 22 008CCA) == 0 && $(count_px 16 26 129 22 F0F0F0) >= 100)); }
# The address is underlined when one row under its caption is covered nearly end to end
# (the caption spans x 143 to 280; no row of glyphs covers 90 % of it).
url_underlined() {
  local y
  for ((y = 104; y <= 115; y++)); do
    (($(count_px 150 "$y" 126 1 2B2E31) <= 12)) && return 0
  done
  return 1
}

# The start/stop switch: green track with the disc at its right end, or grey track with
# the disc at its left end. Pixels lie well inside the track and disc, off their edges.
looks_running() { snap && px_is 268 56 4DBD74 && px_is 286 56 F0F0F0; }
looks_stopped() { snap && px_is 288 56 5B6063 && px_is 269 56 F0F0F0; }
# The console switch, likewise: grey with the disc left (hidden), green with it right.
console_looks_hidden() { snap && px_is 277 136 5B6063 && px_is 256 136 F0F0F0; }
console_looks_shown() { snap && px_is 251 136 4DBD74 && px_is 273 136 F0F0F0; }

# Pointer: window coordinates. After a click the pointer goes off the window, so that a
# tooltip or the pointer image never lies over the pixels that are read.
away() { pointer_to 30 30; }
click_at() {
  point "$1" "$2"
  # A small move inside the label first, so the panel sees motion over it as a person's
  # pointer would give.
  point $(($1 + 1)) "$2"
  xdotool click 1
  sleep 0.2
  away
}

# ---------------------------------------------------------------- the virtual display
start_xvfb "$SCREEN_W" "$SCREEN_H" || exit 1
start_openbox
check "window manager runs on $DISPLAY" wm_up

# ---------------------------------------------------------------- default settings
# A fresh program folder without config.ini: the panel writes the built-in defaults.
# Without a server executable in it nothing is launched (port 80 would work for root).
fresh=$work/fresh
"$src/packaging/layout.sh" "$build" "$fresh" >/dev/null
rm -f "$fresh/config/config.ini" "$fresh/php/t-server.exe"
printf '[Config]\r\ncommand_prompt=hide\r\nserver_port=80\r\nroot_directory=tovanik\r\nphp_folder=php\r\nexe_name=t-server.exe\r\n' \
  >"$work/defaults.ini"
defaults_written() { cmp -s "$work/defaults.ini" "$fresh/config/config.ini"; }
start_panel "$fresh" "$work/panel-fresh.log"
check "a panel without config.ini writes the default settings byte for byte" poll 20 defaults_written
kill "$panel_pid" 2>/dev/null
wait_panel "$panel_pid"
check "no panel window is left from the fresh folder" poll 20 no_panel_window

# ---------------------------------------------------------------- the main program folder
folder=$work/program
"$src/packaging/layout.sh" "$build" "$folder" >/dev/null
ctl() { "$folder/tovanikctl" --folder "$folder" "$@"; }
cfg() { ctl config get "$1" 2>/dev/null; }
cfg_is() { [[ $(cfg "$1") == "$2" ]]; }
# The panel finds and stops its server by process name, machine-wide. A name of this run
# alone (at most 15 bytes, the kernel's process-name length) keeps other panels' servers
# on the machine out of the counts, and them out of reach of this run's stops.
exe=tvk$$.exe
ln -s "$(readlink "$folder/php/t-server.exe")" "$folder/php/$exe"
ctl config set exe_name "$exe"
port=$(free_port)
ctl config set server_port "$port"
server_pids() { ctl status 2>/dev/null | awk 'NR == 1 && $1 == "running" { $1 = ""; print }'; }
one_server() { [[ $(server_pids | wc -w) -eq 1 ]]; }

browser_log=$work/browser.log
cat >"$work/browser.sh" <<EOF
#!/bin/sh
printf '%s\n' "\$1" >>"$browser_log"
EOF
chmod +x "$work/browser.sh"
export BROWSER=$work/browser.sh

panel_log=$work/panel.log
start_panel "$folder" "$panel_log"
first_panel=$panel_pid
check "the panel's window appears with its title" poll 20 find_panel_window
[[ -n "$win" ]] || { echo "display_test: no window, stopping here" >&2; cat "$panel_log" >&2; exit 1; }
poll 5 read_window_position
check "window is 314x290 (got ${win_w}x${win_h})" [ "$win_w" -eq $WIN_W -a "$win_h" -eq $WIN_H ]
centre_x=$(((SCREEN_W - WIN_W) / 2))
centre_y=$(((SCREEN_H - WIN_H) / 2))
near() { local d=$(($1 - $2)); ((d >= -2 && d <= 2)); }
check "window is centred on the screen (at $win_x,$win_y; centre $centre_x,$centre_y)" \
  eval 'near $win_x $centre_x && near $win_y $centre_y'
check "window stays on top (_NET_WM_STATE_ABOVE)" \
  eval 'xprop -id "$win" _NET_WM_STATE | grep -q _NET_WM_STATE_ABOVE'
"$folder/tovanikctl" launcher install >/dev/null  # into $XDG_DATA_HOME, set above
# The folder's own entry: tovanik-webserver-<hash of the folder's path>.desktop, the only one.
wm_class=$(sed -n 's/^StartupWMClass=//p' "$XDG_DATA_HOME"/applications/tovanik-webserver-*.desktop)
check "the window's class is the menu entry's StartupWMClass (${wm_class:-none})" \
  eval 'xprop -id "$win" WM_CLASS | grep -q ", \"$wm_class\"\$"'

check "the server answers HTTP 200 on port $port" poll 20 http_ok "$port"
check "the start/stop switch shows running (green track, disc right)" poll 20 looks_running
check "exactly one server process runs" one_server
away
sleep 0.3
snap
import -display "$DISPLAY" -window root -crop "${WIN_W}x${WIN_H}+${win_x}+${win_y}" +repage \
  "$build/display-test-panel.png" 2>/dev/null

# Pixels of the design, away from antialiased edges.
outside=$(root_px $((win_x - 3)) $((win_y + 145)))
check_design_pixels
design_px "start/stop track (running)" 268 56 4DBD74
design_px "start/stop disc at the right end" 286 56 F0F0F0
design_px "console track (hidden)" 277 136 5B6063
design_px "console disc at the left end" 256 136 F0F0F0
for corner in "0 0" "313 145" "157 289" "313 289"; do
  set -- $corner
  got=$(px "$1" "$2")
  check "window outline cuts ($1,$2): desktop #$outside shows, not the panel (got #$got)" \
    eval '[ "$got" == "$outside" -a "$got" != 353C42 -a "$got" != 2B2E31 ]'
done

check "address and product name are blue while the server runs" eval 'url_blue && name_blue'

# ---------------------------------------------------------------- hover feedback
point 250 104
point 251 105
check "pointer over the address underlines it while the server runs" \
  poll 20 eval 'snap && url_underlined'
point 200 40
point 201 42
check "pointer over the bare surface takes the underline off" poll 20 eval 'snap && ! url_underlined'
min_is() { snap && px_is 248 16 "$1"; }
point 250 14
point 252 15
check "pointer over lblMin turns the minimise mark #FFC107" poll 20 min_is FFC107
point 200 40
point 201 42
check "pointer over the bare header turns it back to #ECBC2C" poll 20 min_is ECBC2C
close_is() { snap && px_is 288 16 "$1"; }
point 292 14
point 293 15
check "pointer over lblClose turns the close mark #F86C6B" poll 20 close_is F86C6B
# A label without reactions ("URL") takes the motion, so the highlight stays. Seen once
# the next motion, over lblMin, has been handled.
point 40 100
point 41 101
point 252 15
check "after passing a label without reactions the close mark is still #F86C6B" \
  poll 20 eval 'min_is FFC107 && px_is 288 16 F86C6B'
# Tooltips, read as the user sees them: resting on a label shows its text.
point 60 232
point 61 233
check "resting on \"Configuration\" shows the tooltip \"Open configuration file\"" \
  poll 20 tooltip_is "Open configuration file"
point 250 104
point 251 105
check "resting on the address shows the tooltip \"Open http://localhost:$port\"" \
  poll 20 tooltip_is "Open http://localhost:$port"
point 200 40
point 201 42
check "on the bare surface the tooltip goes" poll 20 tooltip_is ""
# A line is part of the surface.
point 120 12
point 121 13
check "pointer over the accent bar (a line) puts both marks back to rest" \
  poll 20 eval 'min_is ECBC2C && px_is 288 16 FD5C5C'
away

# ---------------------------------------------------------------- dragging
# Pressing the left button on the bare surface and moving drags the window along.
drag_by() {  # drag_by DX DY, from the bare header
  local i
  point 200 40
  xdotool mousedown 1
  for i in 1 2 3 4; do point $((200 + i * $1 / 4)) $((40 + i * $2 / 4)); done
  xdotool mouseup 1
}
start_x=$win_x
start_y=$win_y
drag_by 40 20
check "dragging the bare surface moves the window by (40,20)" \
  poll 20 at_position $((start_x + 40)) $((start_y + 20))
drag_by -40 -20
check "dragging back puts it where it was" poll 20 at_position "$start_x" "$start_y"
away

# ---------------------------------------------------------------- stop, edit the port, start
# While the server runs the port box is disabled: a press and typing there change
# nothing. The panel handles input in order, so once the stop below has shown, these
# keys have been dealt with.
click_at 245 170
xdotool key --delay 50 ctrl+a
xdotool type --delay 50 4321
click_at 276 56
check "a click on the start/stop switch stops the server (no HTTP)" poll 20 http_down "$port"
check "the switch shows stopped (grey track, disc left)" poll 20 looks_stopped
ctl status >/dev/null 2>&1
check "tovanikctl status says stopped (exit 3)" [ $? -eq 3 ]
check "typing at the port box while the server ran left server_port=$port" cfg_is server_port "$port"
check "a press on the port box while the server ran left it #2B2E31" eval 'snap && px_is 242 178 2B2E31'
check "address and product name are in button face while stopped" eval 'url_light && name_light'
# While stopped the address takes no underline; seen once the next motion, over lblMin,
# has been handled.
point 250 104
point 251 105
point 252 15
check "pointer over the address while stopped does not underline it" \
  poll 20 eval 'min_is FFC107 && ! url_underlined'
point 200 40
point 201 42
poll 20 min_is ECBC2C
away

new_port=$(free_port "$port")
port_box_editing() { snap && px_is 242 178 24282B; }
click_at 245 170
check "a press on the enabled port box darkens it to #24282B" poll 20 port_box_editing
point 260 170
xdotool click 1
xdotool key --delay 50 ctrl+a
xdotool type --delay 80 "$new_port"
away
check "typing in the port box stores server_port=$new_port" poll 20 cfg_is server_port "$new_port"

click_at 276 56
check "a click on the start/stop switch starts the server on the new port $new_port" \
  poll 20 http_ok "$new_port"
check "the switch shows running again" poll 20 looks_running
check "the old port $port no longer answers" http_down "$port"
check "the port box is back at its resting colour" eval 'snap && px_is 242 178 2B2E31'

# ---------------------------------------------------------------- console switch
# The terminal is recognised as the server's parent process owning a visible window
# (_NET_WM_PID), whichever terminal program x-terminal-emulator names.
server_pid() { server_pids | awk 'NF == 1 { print $1 }'; }
parent_of() { awk '{ print $4 }' "/proc/$1/stat" 2>/dev/null; }
has_window() { [[ "$1" -gt 1 && -n $(xdotool search --onlyvisible --pid "$1" 2>/dev/null) ]]; }
terminal=""
serving_in_terminal() {
  local pid parent
  pid=$(server_pid) && [[ -n "$pid" ]] || return 1
  parent=$(parent_of "$pid") && [[ "$parent" != "$panel_pid" ]] && has_window "$parent" || return 1
  http_ok "$new_port" || return 1
  terminal=$parent
}
serving_hidden() {
  local pid
  [[ -n "$terminal" ]] && gone "$terminal" && ! has_window "$terminal" || return 1
  pid=$(server_pid) && [[ -n "$pid" ]] || return 1
  # Launched hidden, it is the panel's own child (posix_spawn), in no terminal.
  [[ "$(parent_of "$pid")" == "$panel_pid" ]] && http_ok "$new_port"
}

click_at 264 136
check "console switch on: a terminal window holds the server, which answers HTTP 200" \
  poll 20 serving_in_terminal
check "console switch on stores command_prompt=show" cfg_is command_prompt show
check "the console switch shows on (green track, disc right)" poll 20 console_looks_shown
check "exactly one server process runs" one_server

click_at 264 136
check "console switch off: the terminal is gone and the server answers HTTP 200 hidden" \
  poll 20 serving_hidden
check "console switch off stores command_prompt=hide" cfg_is command_prompt hide
check "the console switch shows off (grey track, disc left)" poll 20 console_looks_hidden
check "the start/stop switch shows running" poll 20 looks_running

# ---------------------------------------------------------------- address link
browser_got() { grep -qxF "http://localhost:$new_port" "$browser_log" 2>/dev/null; }
click_at 208 104
check "a click on the address opens http://localhost:$new_port in the browser" poll 20 browser_got

# ---------------------------------------------------------------- one copy only
# Minimised, the window is gone from a desktop without a task bar; a second start of the
# program brings it back: mapped, not hidden, and the active window.
map_state() { xwininfo -id "$win" 2>/dev/null | awk '/Map State:/ { print $3 }'; }
wm_hidden() { xprop -id "$win" _NET_WM_STATE 2>/dev/null | grep -q _NET_WM_STATE_HIDDEN; }
minimised() { [[ $(map_state) == IsUnMapped ]] && wm_hidden; }
shown() { [[ $(map_state) == IsViewable ]] && ! wm_hidden; }
active() { xprop -root _NET_ACTIVE_WINDOW 2>/dev/null | grep -qi "$(printf '0x%x' "$win")\$"; }
point 250 14
point 251 15
xdotool mousedown 1
sleep 0.05
xdotool mouseup 1
away
check "a click on the minimise mark unmaps the window (_NET_WM_STATE_HIDDEN)" poll 20 minimised
server_before=$(server_pids | tr -d ' ')
start_panel "$folder" "$work/panel-second.log"
second=$panel_pid
check "a second copy of the panel ends by itself" wait_panel "$second"
check "the second copy ends with status 0 (got ${panel_status:-none})" [ "${panel_status:-1}" -eq 0 ]
check "the second start brought the first copy's window back (viewable, not hidden)" poll 20 shown
check "... as the active window" poll 20 active
check "still one panel window" one_panel_window
check "still exactly one server process, the same one ($server_before)" \
  eval '[ "$(server_pids | tr -d " ")" == "$server_before" ]'

# ---------------------------------------------------------------- close, and open again
click_at 290 16
check "a click on the close mark ends the panel" wait_panel "$first_panel"
check "the panel ends with status 0 (got ${panel_status:-none})" [ "${panel_status:-1}" -eq 0 ]
check "the server still answers HTTP 200 after the panel closed" http_ok "$new_port"

win=""
start_panel "$folder" "$panel_log"
check "a new panel opens its window" poll 20 find_panel_window
poll 5 read_window_position
check "the new panel shows the running server" poll 20 looks_running
check "the new panel started no second server ($server_before still the only one)" \
  eval '[ "$(server_pids | tr -d " ")" == "$server_before" ]'

# ---------------------------------------------------------------- the keyboard
# The pointer never on the window: Tab reaches the switch and marks it in blue, Space
# stops and starts the server, and a pointer press takes the mark away again.
mark_on_switch() { snap && px_is 257 56 008CCA; }
check "at rest no focus mark shows" eval 'snap && ! px_is 257 56 008CCA'
xdotool key Tab
check "Tab puts the focus mark around the switch" poll 20 mark_on_switch
xdotool key space
check "Space on the switch stops the server" poll 20 http_down "$new_port"
check "... and it shows stopped, the mark still on it" poll 20 eval 'looks_stopped && mark_on_switch'
xdotool key space
check "Space on the switch again starts it (HTTP 200)" poll 20 http_ok "$new_port"
check "... one server" poll 20 one_server
click_at 200 40
check "a pointer press takes the mark away" poll 20 eval '! mark_on_switch'

# ---------------------------------------------------------------- captions, whatever the fonts
# Each caption lies wholly inside its label: no ink in the label's last column on the side
# the text runs towards (a clipped glyph would touch it) nor in the two beyond it or the
# two rows below, and where the fallback font runs wider than the design's, the caption is
# narrowed to fill the label: its last glyph's ink lies in the six columns before that
# column. Rows: the fonts installed, and Open Sans hidden by a fontconfig file that
# includes the system's and rejects it, so that DejaVu Sans, wider, stands in.
no_open_sans=$work/no-open-sans.conf
cat >"$no_open_sans" <<'EOF'
<?xml version="1.0"?>
<!DOCTYPE fontconfig SYSTEM "urn:fontconfig:fonts.dtd">
<fontconfig>
  <include ignore_missing="no">/etc/fonts/fonts.conf</include>
  <selectfont><rejectfont>
    <pattern><patelt name="family"><string>Open Sans</string></patelt></pattern>
  </rejectfont></selectfont>
</fontconfig>
EOF
# name, left, top, width, height in twips (the design's, but for Label8: its label reaches
# down over the separator below, its one line of text does not), and the alignment
captions=(
  "Label4 570 760 1575 255 left" "Label8 480 1440 615 255 left" "lblURL 2040 1440 2175 255 right"
  "Label5 480 1920 1695 255 left" "lbl1 480 2400 1095 255 left" "Label6 480 2880 1455 255 left"
  "lblRootDir 2160 2880 2055 255 right" "labelConfig 480 3360 1335 255 left"
  "Label1 240 3960 2055 255 left")
# Everything around these labels is the card's or a band's colour, #2B2E31.
check_captions() {  # check_captions SETUP LABELS-THAT-FILL...
  local setup=$1 row name l t w h align x0 x1 y0 y1 edge near
  shift
  for row in "${captions[@]}"; do
    read -r name l t w h align <<<"$row"
    x0=$((l / 15)) x1=$(((l + w) / 15)) y0=$((t / 15)) y1=$(((t + h + 14) / 15))
    if [[ $align == left ]]; then edge=$((x1 - 1)) near=$((x1 - 7)); else edge=$((x0 - 2)) near=$((x0 + 1)); fi
    check "$setup: $name's caption leaves its end column and beyond clear" \
      eval 'no_ink $edge $y0 3 $((y1 - y0)) && no_ink $x0 $y1 $((x1 - x0)) 2'
    if [[ " $* " == *" $name "* ]]; then
      check "$setup: $name's caption is narrowed to fill its label, its last glyph drawn" \
        eval '! no_ink $near $y0 6 $((y1 - y0))'
    fi
  done
}
away
snap
check_captions "installed fonts" Label5
kill "$panel_pid" 2>/dev/null
wait_panel "$panel_pid"
start_panel "$folder" "$work/panel-fonts.log" FONTCONFIG_FILE="$no_open_sans"
check "a panel with Open Sans hidden opens its window" poll 20 find_panel_window
poll 5 read_window_position
check "... and shows the running server" poll 20 looks_running
check "... where fontconfig gives DejaVu Sans for Open Sans" \
  eval '[ "$(FONTCONFIG_FILE=$no_open_sans fc-match -f "%{family}" "Open Sans" 2>/dev/null)" == "DejaVu Sans" ]'
away
snap
check_captions "Open Sans hidden" Label4 lblURL Label5 lbl1 Label6 labelConfig Label1

kill "$panel_pid" 2>/dev/null
wait_panel "$panel_pid"

# ---------------------------------------------------------------- captions at every scale
# At screen scales 1.5 and 2, with and without Open Sans: the captions of the window's font
# come from one family (their capital letters' tops lie on the same row of their labels),
# none is cut (the label's end column and beyond stay clear), and the port box shows all
# five digits of the port (nothing in its first columns: a scrolled box shows a cut digit
# there). Coordinates: the design's pixels times the scale, in tenths.
# name, left, top, width, height in twips: the captions that start with a capital letter.
capitals=("Label8 480 1440 615 255" "Label5 480 1920 1695 255" "lbl1 480 2400 1095 255"
  "Label6 480 2880 1455 255" "labelConfig 480 3360 1335 255")
scaled() { echo $(($1 * scale10 / 150)); }  # twips to pixels at the scale
check_scaled_captions() {  # check_scaled_captions SETUP
  local setup=$1 row name l t w h rows=() r lowest highest x0 x1 y0 y1
  for row in "${capitals[@]}"; do
    read -r name l t w h <<<"$row"
    x0=$(scaled "$l") x1=$(scaled $((l + w))) y0=$(scaled "$t") y1=$(scaled $((t + h)))
    r=$(first_ink_row "$x0" "$y0" $((x1 - x0)) $((y1 - y0)))
    check "$setup: $name's caption is drawn" [ "$r" != none ]
    rows+=("$r")
    check "$setup: $name's caption leaves its end column and beyond clear" \
      no_ink $((x1 - scale10 / 10)) "$y0" 3 $((y1 - y0))
  done
  lowest=$(printf '%s\n' "${rows[@]}" | sort -n | head -n1)
  highest=$(printf '%s\n' "${rows[@]}" | sort -n | tail -n1)
  check "$setup: the captions' capitals start on one row of their labels, one family (rows ${rows[*]})" \
    [ $((highest - lowest)) -le 1 ]
  # Open Sans's capitals start 4.6 pixels of the design below the label's top, DejaVu
  # Sans's 2.6: where Open Sans is installed, it is the family (not DejaVu Sans for all).
  if [[ $setup == *installed ]]; then
    check "$setup: ... and it is Open Sans: capitals 3.5 design pixels or more down" \
      [ "$lowest" -ge $((35 * scale10 / 100)) ]
  else
    check "$setup: ... and it is DejaVu Sans: capitals less than 3.5 design pixels down" \
      [ "$highest" -lt $((35 * scale10 / 100)) ]
  fi
  x0=$(scaled 3600) y0=$(scaled 2400)
  check "$setup: the port box shows its 5-digit port whole (its first columns clear)" \
    no_ink "$x0" "$y0" 2 $(($(scaled 2700) - y0))
}
for scale10 in 15 20; do
  for fonts in installed hidden; do
    setup="scale ${scale10:0:1}.${scale10:1}, Open Sans $fonts"
    env_args=("QT_SCALE_FACTOR=${scale10:0:1}.${scale10:1}")
    [[ $fonts == hidden ]] && env_args+=("FONTCONFIG_FILE=$no_open_sans")
    win=""
    start_panel "$folder" "$work/panel-scale.log" "${env_args[@]}"
    check "$setup: the panel opens its window" poll 20 find_panel_window
    poll 5 read_window_position
    check "$setup: the window is $((314 * scale10 / 10)) pixels wide (got $win_w)" \
      [ "$win_w" -eq $((314 * scale10 / 10)) ]
    shows_running_scaled() { snap && px_is $((268 * scale10 / 10)) $((56 * scale10 / 10)) 4DBD74; }
    check "$setup: the window shows the running server" poll 20 shows_running_scaled
    away
    snap
    check_scaled_captions "$setup"
    kill "$panel_pid" 2>/dev/null
    wait_panel "$panel_pid"
  done
done

# ---------------------------------------------------------------- why, in the tooltip
# A start that fails says why on the switch, where the pointer rests: here the port is
# held by another program (php run by hand), so nothing is launched.
taken=$work/taken
"$src/packaging/layout.sh" "$build" "$taken" >/dev/null
taken_exe=tvb$$.exe
ln -s "$(readlink "$taken/php/t-server.exe")" "$taken/php/$taken_exe"
"$taken/tovanikctl" --folder "$taken" config set exe_name "$taken_exe"
taken_port=$(free_port "$new_port")
"$taken/tovanikctl" --folder "$taken" config set server_port "$taken_port"
php -S "127.0.0.1:$taken_port" -t "$work" >"$work/holder.log" 2>&1 &
holder=$!
poll 20 port_taken "$taken_port"
holder_name=$(cat "/proc/$holder/comm")
why="port $taken_port is taken by $holder_name (pid $holder)"
switch_says_why() {
  point 200 40
  point 270 56
  point 271 57
  poll 3 eval '[[ "$(shown_tooltip)" == "$why" ]]'
}
# Its desktop has no working program for links: the only browser xdg-open may ask fails,
# and xdg-open exits 3 ("no method available"), as where none is set up.
printf '#!/bin/sh\nexit 1\n' >"$work/no-browser.sh"
chmod +x "$work/no-browser.sh"
link_why="cannot open https://tovanik.dev: xdg-open found no program to open it (exit status 3)"
name_says_why() { point 200 40 && point 60 40 && point 61 41 && poll 3 tooltip_is "$link_why"; }
# Screen readers: a private session bus, where the panel, always accessible, and an AT-SPI
# client (pyatspi, atspi_panel.py) meet on the accessibility bus it starts.
a11y=()
if /usr/bin/python3 -c 'import pyatspi' 2>/dev/null && command -v dbus-daemon >/dev/null; then
  mkdir -p "$work/home"
  bus=$(HOME=$work/home dbus-daemon --session --fork --print-address=1 --print-pid=1)
  bus_pid=${bus##*$'\n'}
  export DBUS_SESSION_BUS_ADDRESS=${bus%%$'\n'*}
  a11y=(QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1)
fi
atspi() { /usr/bin/python3 "$src/tests/display/atspi_panel.py" "$@" 2>>"$work/atspi.log"; }
# Qt joins the accessibility bus only once it runs, as in a desktop session: a first
# client call starts it.
((${#a11y[@]})) && atspi >/dev/null
win=""
start_panel "$taken" "$work/panel-taken.log" BROWSER="$work/no-browser.sh" "${a11y[@]}"
check "a panel whose port another program holds opens its window" poll 20 find_panel_window
poll 5 read_window_position
check "resting on its switch shows why: \"$why\"" \
  poll 20 switch_says_why
click_at 60 40
check "a link nothing can open says why in its tooltip: \"$link_why\"" poll 20 name_says_why
check "... and its opener is not left a zombie" eval '! ps -o stat= --ppid "$panel_pid" | grep -q Z'
away
if ((${#a11y[@]})); then
  tree_has() { atspi | grep -xF "$1" >/dev/null; }  # all read: pipefail is on
  check "AT-SPI: the switch, a check box, reads stopped and hears why" \
    poll 20 tree_has "check box|Server: stopped|$why|"
  for row in "check box|PHP command prompt: hidden|Show / Hide PHP Command Prompt|" \
    "text|Server port|Change server port|" "link|Configuration|Open configuration file|" \
    "link|Tovanik|$link_why|" "push button|Minimize|Minimize|" "push button|Close|Close|"; do
    check "AT-SPI lists $row" tree_has "$row"
  done
  kill "$holder" 2>/dev/null
  poll 20 eval '! port_taken "$taken_port"'
  atspi press "Server" >/dev/null
  check "AT-SPI: the switch's press action starts the server (HTTP 200)" poll 20 http_ok "$taken_port"
  check "... and the switch reads running, checked" \
    poll 20 tree_has "check box|Server: running|Start / Stop Server|checked"
fi
kill "$panel_pid" 2>/dev/null
wait_panel "$panel_pid"
kill "$holder" 2>/dev/null
wait "$holder" 2>/dev/null
"$taken/tovanikctl" --folder "$taken" stop >/dev/null 2>&1

# ---------------------------------------------------------------- start at login
# The entry `launcher install --at-login` writes, run by a session's autostart runner (dex)
# from this test's own config folder only: the panel opens and starts the server.
if command -v dex >/dev/null; then
  ctl stop >/dev/null 2>&1
  poll 20 http_down "$new_port"
  ctl launcher install --at-login >/dev/null
  check "tovanikctl launcher says the panel starts at login" \
    eval 'ctl launcher | grep -qx "at login: $XDG_CONFIG_HOME/autostart/tovanik-webserver-.*\.desktop"'
  dex -a -s "$XDG_CONFIG_HOME/autostart" >"$work/dex.log" 2>&1
  win=""
  check "the autostart runner (dex -a) opens the panel" poll 20 find_panel_window
  check "... which starts the server (HTTP 200 on port $new_port)" poll 20 http_ok "$new_port"
  panel_pids+=("$(xdotool getwindowpid "$win")")
  kill "${panel_pids[-1]}" 2>/dev/null
  ctl launcher remove --at-login >/dev/null
  check "launcher remove --at-login takes the entry away" eval 'ctl launcher | grep -qx "at login: none"'
else
  echo "# skipped: the start at login, no autostart runner (dex) installed"
fi

# ---------------------------------------------------------------- end
check "tovanikctl stop ends the server" ctl stop
check "the port $new_port is free again" poll 20 http_down "$new_port"

check "no sanitizer reports in the panels' output" sanitizer_quiet
finish_report
