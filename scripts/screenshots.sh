#!/usr/bin/env bash
# Takes the README's pictures from a real run of pinnit in the Wine desktop:
# docs/list.png (the window list at the corner, above the taskbar) and
# docs/about.png (the About box).
set -euo pipefail
source "$(dirname "$0")/lib.sh"

pinnit_setup "$@"
build=${PINNIT_BUILD:-$PINNIT_ROOT/build/screenshots}
pinnit_build "$build" mingw-gcc-i686

pinnit_start_xvfb
trap pinnit_cleanup EXIT
pinnit_make_prefix "$build/wineprefix" desktop
pinnit_check_i386 "$build/bin"

shots=$(mktemp -d)
crops=$(cd "$build/bin" && timeout 120 wine pinnit_screenshots.exe "$(winepath -w "$shots")" | tr -d '\r')
mkdir -p "$PINNIT_ROOT/docs"
while read -r name geometry; do
    convert "$shots/$name.bmp" -crop "$geometry" +repage "$PINNIT_ROOT/docs/$name.png"
    pinnit_log "wrote docs/$name.png ($geometry)"
done <<<"$crops"
rm -rf "$shots"
