#!/usr/bin/env bash
# Builds pinnit and runs it in a Wine virtual desktop that has a taskbar, on the
# current X display, or on a private Xvfb (xvfb-run -a) where there is none.
set -euo pipefail
source "$(dirname "$0")/lib.sh"

pinnit_setup "$@"
build=${PINNIT_BUILD:-$PINNIT_ROOT/build/run}
pinnit_build "$build" mingw-gcc-i686 -DPINNIT_TESTS=OFF -DPINNIT_WINE_TOOLS=ON
cd "$build/bin"
# hold_taskbar.exe keeps Wine's taskbar up while it starts pinnit, so that pinnit
# reads a work area without the taskbar and shows its list above it.
run=("$PINNIT_ROOT/scripts/wine.sh" run "${PINNIT_PREFIX:-$HOME/.local/share/pinnit/wineprefix}" hold_taskbar.exe pinnit.exe)
pinnit_log "choose Exit from the tray icon's menu to end"
if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then "${run[@]}"; else
    pinnit_log "no X display: a private Xvfb, named below (see it with: x11vnc -display :N, or take a screenshot with: DISPLAY=:N import -window root shot.png)"
    xvfb-run -a -s "-screen 0 1024x700x24 -nolisten tcp" "${run[@]}"
fi
