#!/usr/bin/env bash
# Installs, builds, creates the embedded SQLite demo database (once) and opens Zentaro on it.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup-debian.sh"
"$root/scripts/build.sh"
bin=${BUILD_DIR:-$root/build}/bin/zentaro
demo="${XDG_DATA_HOME:-$HOME/.local/share}/Zentaro/zentaro/zentaro-demo.sqlite"
[ -f "$demo" ] || "$bin" init --demo --db "$demo"
exec "$bin" --db "$demo" "$@"
