# Sourced by the bench scripts: a private X display (its number chosen by Xvfb) with a
# window manager. Needs $work; sets DISPLAY, $xvfb and $openbox for the caller's cleanup.
start_display() {
  Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
  xvfb=$!
  for _ in $(seq 100); do [[ -s "$work/display" ]] && break; sleep 0.1; done
  [[ -s "$work/display" ]] || { echo "bench: Xvfb did not start" >&2; exit 1; }
  export DISPLAY=:$(head -n1 "$work/display")
  openbox --sm-disable >/dev/null 2>&1 &
  openbox=$!
  for _ in $(seq 100); do
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q "window id" && break
    sleep 0.1
  done
}
