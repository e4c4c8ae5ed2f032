#!/usr/bin/env bash
# Takes the README's pictures from a real run of pinnit in the Wine desktop:
# docs/list.png (the window list at the corner, above the taskbar) and
# docs/about.png (the About box).
set -euo pipefail
source "$(dirname "$0")/lib.sh"

pinnit_setup "$@"
build=${PINNIT_BUILD:-$PINNIT_ROOT/build/screenshots}
pinnit_build "$build" mingw-gcc-i686
wine=$PINNIT_ROOT/scripts/wine.sh
"$wine" start "$build/wineprefix"
shots=$(mktemp -d)
trap '"$wine" stop "$build/wineprefix"; rm -rf "$shots"' EXIT
crops=$(cd "$build/bin" && "$wine" test "$build/wineprefix" pinnit_screenshots.exe "Z:$shots" | tr -d '\r')
mkdir -p "$PINNIT_ROOT/docs"
grep -E '^[a-z]+ [0-9x+]+$' <<<"$crops" | while read -r name geometry; do
    convert "$shots/$name.bmp" -crop "$geometry" +repage "$PINNIT_ROOT/docs/$name.png"
    pinnit_log "wrote docs/$name.png ($geometry)"
done
