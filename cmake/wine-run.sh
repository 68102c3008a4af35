#!/usr/bin/env bash
# Runs a Windows program under Wine, in the Wine prefix PREFIX (made on first use).
# Usage: cmake/wine-run.sh PREFIX PROGRAM [ARGS...]
# No debug output, no Mono or Gecko install prompts, and no menu entries on the host for
# shortcuts the programs write into the prefix's Start menu.
set -euo pipefail
prefix=$1
shift
export WINEPREFIX=$prefix WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
if [[ ! -e $prefix/.tovanik-ready ]]; then
  mkdir -p "$prefix"
  # ctest runs tests side by side: the first one makes the prefix, the others wait for it.
  (
    flock 9
    if [[ ! -e $prefix/.tovanik-ready ]]; then
      wine wineboot -i >/dev/null 2>&1 || true
      wineserver -w  # wineboot's server, with the default 3 s, gives way to the one below
      touch "$prefix/.tovanik-ready"
    fi
  ) 9>"$prefix.lock"
fi
# One Wine server for the whole run, kept a minute past its last program: by default it
# ends 3 s after the last one, and a test starting in that moment is cut off ("wine client
# error: recvmsg: Connection reset by peer"). The server and the session's own programs
# (wineboot starts them) stay on in the background, so they get none of our outputs, nor
# the lock: whoever reads a test's output (ctest, test discovery) waits until every holder
# of it has ended.
(
  flock 9
  if wineserver -p60 </dev/null >/dev/null 2>&1 9>&-; then
    wine wineboot </dev/null >/dev/null 2>&1 9>&- || true
  fi
) 9>"$prefix.lock"
exec wine "$@"
