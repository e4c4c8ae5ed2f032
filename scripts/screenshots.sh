#!/usr/bin/env bash
# Takes the README's pictures from a real run of pinnit in the Wine desktop:
# docs/list.png (the list at the corner, above the taskbar) and docs/about.png.
set -euo pipefail
source "$(dirname "$0")/lib.sh"

pinnit_setup "$@"
build=${PINNIT_BUILD:-$PINNIT_ROOT/build/screenshots} wine=$PINNIT_ROOT/scripts/wine.sh shots=$(mktemp -d)
pinnit_build "$build" mingw-gcc-i686
trap '"$wine" stop "$build/wineprefix"; rm -rf "$shots"' EXIT
"$wine" start "$build/wineprefix"
(cd "$build/bin" && "$wine" test "$build/wineprefix" pinnit_screenshots.exe "Z:$shots") | tr -d '\r' |
    while read -r name geometry; do
        convert "$shots/$name.bmp" -crop "$geometry" +repage "$PINNIT_ROOT/docs/$name.png"
        pinnit_log "wrote docs/$name.png ($geometry)"
    done
