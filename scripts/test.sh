#!/usr/bin/env bash
# Builds pinnit and its tests with warnings as errors, once with GCC and once
# with Clang, and runs every test of both builds under Wine on a private Xvfb
# display, in one prefix. Ends with CTest's summary of the Clang build; fails
# when either build or either run fails.
set -euo pipefail
source "$(dirname "$0")/lib.sh"

pinnit_setup_i386
pinnit_install_deps
build=${PINNIT_BUILD:-$PINNIT_ROOT/build/test}
pinnit_build "$build" mingw-gcc-i686
pinnit_build "$build-clang" mingw-clang-i686

pinnit_start_xvfb
trap pinnit_cleanup EXIT
rm -rf "$build/wineprefix"
pinnit_make_prefix "$build/wineprefix" desktop
pinnit_check_i386 "$build/bin"

status=0
for dir in "$build" "$build-clang"; do
    pinnit_log "running the tests of $dir"
    # Benchmarks run last and in full view: their output is the point.
    (cd "$dir" && ctest --output-on-failure --timeout 300 -LE bench "$@") || status=1
    (cd "$dir" && ctest --verbose --timeout 300 -L bench "$@") || status=1
done
exit $status
