#!/usr/bin/env bash
# Lists every include of the suite that points up its layers and fails when there is one.
# From the top: app and modules, host, components, controls, services, db, then core with
# cfdi beside it. A file may include its own layer and the layers below it.
set -euo pipefail
root=${1:-$(cd "$(dirname "$0")/.." && pwd)}
cd "$root"

rank() {
    case $1 in
    core | cfdi) echo 0 ;;
    db) echo 1 ;;
    services) echo 2 ;;
    controls) echo 3 ;;
    components) echo 4 ;;
    host) echo 5 ;;
    *) echo 6 ;; # app and modules
    esac
}

found=0
while IFS=: read -r file line text; do
    layer=$(cut -d/ -f3 <<<"$file")
    target=$(sed -E 's/.*#include "platform\/([^/]+)\/.*/\1/' <<<"$text")
    if [ "$(rank "$target")" -gt "$(rank "$layer")" ]; then
        echo "$file:$line: $layer includes $target: $text"
        found=1
    fi
done < <(grep -rnE '#include "platform/[^/]+/' src/platform)

while IFS= read -r hit; do
    echo "$hit: the suite includes a module or the application"
    found=1
done < <(grep -rnE '#include "(modules|app)/' src/platform || true)

exit $found
