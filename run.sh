#!/usr/bin/env bash
# Installs what is missing, builds, lays out the program folder in ./dist and starts the panel.
# Without a display the panel runs on a virtual X display, which stops again with the panel.
set -euo pipefail
cd "$(dirname "$0")"
packaging/install-deps.sh
packaging/clear-old-cache.sh build
cmake --preset linux >/dev/null
cmake --build --preset linux
packaging/layout.sh build dist >/dev/null
echo "Program folder: $PWD/dist"

# The runtime packages the README lists: every library the panel loads, and php.
unresolved=$(ldd dist/tovanik-webserver | awk '/not found/ {print $1}' | tr '\n' ' ')
if [[ -n "$unresolved" ]]; then
  echo "run.sh: the panel cannot load ${unresolved% }: install the packages README.md lists" >&2
  exit 1
fi
command -v php >/dev/null || { echo "run.sh: php is missing: install php-cli" >&2; exit 1; }

# Sessions started by su, runuser or some display managers have no runtime folder, and Qt
# warns about it. Give the panel the folder it falls back to for its single-copy lock, the
# user's own state folder (0700; never the shared temporary folder, where another user
# could make the folder first), so a panel started later without run.sh finds the same
# lock. Root, like the panel, takes XDG_STATE_HOME and HOME only when they are root's own
# folders that nobody else may write to, else root's home.
private_to_root() {
  [[ -d "$1" && $(stat -L -c %u "$1") == 0 ]] && (((8#$(stat -L -c %a "$1") & 8#022) == 0))
}
if [[ -z "${XDG_RUNTIME_DIR:-}" ]]; then
  state=${XDG_STATE_HOME:-}
  home=${HOME:-}
  if ((EUID == 0)); then
    private_to_root "$state" || state=""
    private_to_root "$home" || home=""
  fi
  [[ "$home" == /* ]] || home=$(getent passwd "$EUID" | cut -d: -f6)
  [[ "$state" == /* ]] || state=$home/.local/state
  runtime=${state%/}/tovanik
  (umask 077 && mkdir -p "$runtime") 2>/dev/null || true
  # A folder found is used as it is, never chmod-ed (the panel does the same).
  if [[ -d "$runtime" && ! -L "$runtime" && -O "$runtime" && $(stat -c %a "$runtime") == 700 ]]; then
    export XDG_RUNTIME_DIR=$runtime
  else
    echo "run.sh: $runtime is not a 0700 folder of yours; the panel says what its lock does" >&2
  fi
fi

pids=()
stop_started() {
  local pid
  for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
}

if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" ]]; then
  packaging/install-deps.sh --display
  trap stop_started EXIT
  trap 'exit 130' INT TERM
  # Xvfb picks a free display itself and writes its number to descriptor 3 once it is ready.
  number_file=$(mktemp)
  Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp 3>"$number_file" >/dev/null 2>&1 &
  pids+=($!)
  for ((i = 0; i < 100; i++)); do
    [[ -s "$number_file" ]] && break
    kill -0 "${pids[0]}" 2>/dev/null || { echo "run.sh: Xvfb did not start" >&2; exit 1; }
    sleep 0.1
  done
  export DISPLAY=":$(head -n 1 "$number_file")"
  rm -f "$number_file"
  openbox >/dev/null 2>&1 &
  pids+=($!)
  echo "No display is set, so the panel's window is on a virtual X display ($DISPLAY) that"
  echo "nobody can see. It and its window manager stop when the panel exits."
fi

dist/tovanik-webserver &
panel=$!
pids+=("$panel")
# The panel starts the server; say where it answers once its port takes connections.
url=$(dist/tovanikctl url)
port=$(dist/tovanikctl config get server_port)
answers() { (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; }
for ((i = 0; i < 100; i++)); do
  answers && break
  sleep 0.1
done
if answers; then
  echo "The server answers on $url"
  echo "It keeps running after the panel closes; dist/tovanikctl stop stops it."
else
  echo "The server does not answer on $url: dist/tovanikctl status says why."
fi
wait "$panel"
