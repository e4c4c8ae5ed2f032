#!/usr/bin/env bash
# Builds pinnit and its tests with warnings as errors and runs every test under
# Wine on a private Xvfb display. Ends with CTest's summary.
set -euo pipefail
source "$(dirname "$0")/lib.sh"

pinnit_install_deps
build=${PINNIT_BUILD:-$PINNIT_ROOT/build/test}
pinnit_build "$build" mingw-gcc-i686

pinnit_start_xvfb
trap pinnit_cleanup EXIT
rm -rf "$build/wineprefix"
pinnit_make_prefix "$build/wineprefix" desktop

cd "$build"
ctest --output-on-failure --timeout 300 "$@"
