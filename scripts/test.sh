#!/usr/bin/env bash
# Builds pinnit and its tests with warnings as errors, once with GCC and once
# with Clang, and runs every test of both builds under Wine on a private Xvfb
# display, in one prefix. Builds pinnit alone a third time through the Visual
# Studio branch (clang-cl, lld-link, llvm-rc) and puts that pinnit.exe through
# the GCC build's file checks and a short end-to-end run. Ends with CTest's
# summary of the Clang build; fails when any build or run fails.
# PINNIT_TEST_SCOPE=gcc builds and tests the GCC build alone (its tests, the
# release check), for a second run that must be short.
set -euo pipefail
source "$(dirname "$0")/lib.sh"

pinnit_setup_i386
pinnit_install_deps
build=${PINNIT_BUILD:-$PINNIT_ROOT/build/test}
pinnit_build "$build" mingw-gcc-i686
dirs=("$build")
if [ "${PINNIT_TEST_SCOPE:-all}" != gcc ]; then
    pinnit_build "$build-clang" mingw-clang-i686
    pinnit_build "$build-msvc" clang-cl-i686 -DPINNIT_TESTS=OFF
    dirs+=("$build-clang")
fi

pinnit_start_xvfb
trap pinnit_cleanup EXIT
rm -rf "$build/wineprefix"
pinnit_make_prefix "$build/wineprefix" desktop
pinnit_check_i386 "$build/bin"

status=0
if [ "${PINNIT_TEST_SCOPE:-all}" != gcc ]; then
    # Its resources are those windres gave the GCC build, compared entry by entry
    # (not the layout); the test programs find it beside themselves.
    msvc=$build-msvc/bin
    pinnit_log "checking $msvc/pinnit.exe"
    resources() { llvm-readobj --coff-resources "$1" | grep -Ev 'File:|Offset|RVA|Address'; }
    diff <(resources "$build/bin/pinnit.exe") <(resources "$msvc/pinnit.exe") || status=1
    cp "$build"/bin/{pinnit_tests,pinnit_e2e,hold_taskbar}.exe "$msvc"
    run_beside() { (cd "$msvc" && timeout 300 "$PINNIT_ROOT/scripts/wine-test.sh" "$@") || status=1; }
    run_beside pinnit_tests.exe --gtest_filter='Resources.*:Footprint.*'
    # One process per test, as CTest runs them, so that each gets a fresh Wine
    # desktop: in one where an earlier test clicked the icon, hovering shows no tip.
    for test in ShellE2E.Starts WindowListE2E.LeftClickShows AboutE2E.AboutFromTheMenu ShellE2E.Exit; do
        run_beside pinnit_e2e.exe --gtest_filter="$test*"
    done
fi
for dir in "${dirs[@]}"; do
    pinnit_log "running the tests of $dir"
    # Benchmarks run last and in full view: their output is the point.
    (cd "$dir" && ctest --output-on-failure --timeout 300 -LE bench "$@") || status=1
    (cd "$dir" && ctest --verbose --timeout 300 -L bench "$@") || status=1
done
exit $status
