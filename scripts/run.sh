#!/usr/bin/env bash
# Builds pinnit and runs it in a Wine virtual desktop that has a taskbar.
# Uses the current X display when there is one, else a private Xvfb.
set -euo pipefail
source "$(dirname "$0")/lib.sh"

pinnit_setup "$@"
build=${PINNIT_BUILD:-$PINNIT_ROOT/build/run}
pinnit_build "$build" mingw-gcc-i686 -DPINNIT_TESTS=OFF -DPINNIT_WINE_TOOLS=ON

if [ -z "${DISPLAY:-}" ] || ! xdpyinfo >/dev/null 2>&1; then
    pinnit_start_xvfb
    pinnit_log "no X display: started Xvfb on $DISPLAY (view it with: x11vnc -display $DISPLAY, or take a screenshot with: DISPLAY=$DISPLAY import -window root shot.png)"
fi
trap pinnit_cleanup EXIT
pinnit_make_prefix "${PINNIT_PREFIX:-$HOME/.local/share/pinnit/wineprefix}" desktop
pinnit_check_i386 "$build/bin"

pinnit_log "running; choose Exit from the tray icon's menu to end"
# hold_taskbar.exe keeps Wine's taskbar up while it starts pinnit, so that pinnit
# reads a work area without the taskbar and shows its list above it.
(cd "$build/bin" && wine hold_taskbar.exe pinnit.exe)
"$WINESERVER" -w
