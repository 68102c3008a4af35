#!/usr/bin/env bash
# Lays out a ready program folder from a build folder:
#   DEST/tovanik-webserver, DEST/tovanikctl, DEST/config/config.ini (only when absent),
#   DEST/php/t-server.exe -> the system's php, DEST/tovanik/index.php (only when absent).
# Usage: packaging/layout.sh BUILD_DIR DEST
set -euo pipefail
build=$1
dest=$2
here=$(cd "$(dirname "$0")" && pwd)

mkdir -p "$dest/config" "$dest/php" "$dest/tovanik"
install -m 755 "$build/tovanik-webserver" "$build/tovanikctl" "$dest/"

php=$(command -v php || true)
if [[ -z "$php" ]]; then
  echo "layout: php not found on PATH (install php-cli)" >&2
  exit 1
fi
ln -sfn "$(readlink -f "$php")" "$dest/php/t-server.exe"

# Ports below 1024 need root on Linux, so the shipped settings use 8080. The program's
# own defaults (port 80) apply only when the file is missing or incomplete.
if [[ ! -e "$dest/config/config.ini" ]]; then
  cp "$here/config.ini" "$dest/config/config.ini"
fi
if [[ ! -e "$dest/tovanik/index.php" ]]; then
  cp "$here/index.php" "$dest/tovanik/index.php"
fi
