#!/usr/bin/env bash
# Checks every script with shellcheck. Builds pinnit and its tests with warnings
# as errors, once with GCC and once with Clang, and runs every test of both
# builds under Wine on a private Xvfb display, in one prefix and one Wine
# session. Builds pinnit alone a third time through the Visual Studio branch
# (clang-cl, lld-link, llvm-rc) and puts that pinnit.exe through the GCC build's
# file checks and a short end-to-end run. Runs the benchmarks once, in the GCC
# build, then the GCC build's end-to-end tests again in a 64-bit prefix, as
# 64-bit Windows runs pinnit, and ends with how long each stage took and how
# many tests passed; fails when any check, build or run fails.
# PINNIT_TEST_SCOPE=gcc builds and tests the GCC build alone (its tests, the
# benchmarks, the release check), for a run that must be short.
set -euo pipefail
source "$(dirname "$0")/lib.sh"

stages=()
stage_start=$SECONDS
# stage NAME: the stage that has just ended, and how long it took.
stage() {
    stages+=("$(printf '%-66s %5d s' "$1" $((SECONDS - stage_start)))")
    pinnit_log "$1: $((SECONDS - stage_start)) s"
    stage_start=$SECONDS
}

# run_tests NAME DIR CTEST-ARGUMENTS...: a stage of DIR's tests, named with how many passed.
run_tests() {
    local name=$1 dir=$2 out counts
    shift 2
    out=$(mktemp)
    (cd "$dir" && ctest "$@") | tee "$out" || status=1
    counts=$(sed -n 's/.*tests passed, \([0-9]*\) tests\{0,1\} failed out of \([0-9]*\)$/\2 \1/p' "$out" |
        awk '{ print $1 - $2 " passed" ($2 > 0 ? ", " $2 " failed" : "") }')
    rm -f "$out"
    stage "$name: ${counts:-no tests}"
}

pinnit_setup "$@"
stage "installs"

status=0
# Every script, the sourced ones and CI's entry point included.
pinnit_log "checking the scripts with shellcheck $(shellcheck --version | sed -n 's/^version: //p')"
shellcheck -S warning "$PINNIT_ROOT"/scripts/*.sh "$PINNIT_ROOT"/tests/*.sh "$PINNIT_ROOT"/.ci/run ||
    { status=1; pinnit_log "shellcheck found the above in the scripts"; }
stage "scripts checked"

build=${PINNIT_BUILD:-$PINNIT_ROOT/build/test}
pinnit_build "$build" mingw-gcc-i686
dirs=("$build")
if [ "${PINNIT_TEST_SCOPE:-all}" != gcc ]; then
    pinnit_build "$build-clang" mingw-clang-i686
    pinnit_build "$build-msvc" clang-cl-i686 -DPINNIT_TESTS=OFF
    dirs+=("$build-clang")
fi
stage "builds"

pinnit_start_xvfb
trap pinnit_cleanup EXIT
rm -rf "$build/wineprefix"
pinnit_make_prefix "$build/wineprefix" desktop
pinnit_start_session
pinnit_check_i386 "$build/bin"
stage "prefix and session"

if [ "${PINNIT_TEST_SCOPE:-all}" != gcc ]; then
    # Its resources are those windres gave the GCC build, compared entry by entry
    # (not the layout); the test programs find it beside themselves.
    msvc=$build-msvc/bin
    pinnit_log "checking $msvc/pinnit.exe"
    resources() { llvm-readobj --coff-resources "$1" | grep -Ev 'File:|Offset|RVA|Address'; }
    diff <(resources "$build/bin/pinnit.exe") <(resources "$msvc/pinnit.exe") || status=1
    cp "$build"/bin/{pinnit_tests,pinnit_e2e,hold_taskbar}.exe "$msvc"
    run_beside() { (cd "$msvc" && "$PINNIT_ROOT/scripts/wine-test.sh" "$@") || status=1; }
    run_beside pinnit_tests.exe --gtest_filter='Resources.*:Footprint.*'
    # One process per test, as CTest runs them, so that each gets a fresh desktop:
    # in one where an earlier test clicked the icon, hovering shows no tip.
    for test in ShellE2E.Starts WindowListE2E.LeftClickShows AboutE2E.AboutFromTheMenu ShellE2E.Exit; do
        run_beside pinnit_e2e.exe --gtest_filter="$test*"
    done
    stage "Visual Studio branch's checks"
fi
for dir in "${dirs[@]}"; do
    pinnit_log "running the tests of $dir"
    run_tests "tests of $(basename "$dir"), 32-bit Windows" "$dir" --output-on-failure --timeout 300 -LE bench "$@"
done
# The benchmarks measure the program's code, the same in both builds: they run
# once and in full view, since their output is the point.
(cd "$build" && ctest --verbose --timeout 300 -L bench "$@") || status=1
stage "benchmarks"

# Most users run pinnit on 64-bit Windows: there it is a 32-bit program beside a
# 64-bit taskbar, listing and pinning 64-bit programs' windows.
pinnit_end_session
rm -rf "$build/wineprefix64"
pinnit_make_prefix "$build/wineprefix64" desktop win64
[ -d "$WINEPREFIX/drive_c/windows/syswow64" ] || pinnit_fail "$WINEPREFIX is not a 64-bit prefix"
pinnit_start_session
stage "prefix and session, 64-bit Windows"
pinnit_log "running the end-to-end tests of $build in a 64-bit prefix"
run_tests "end-to-end tests of $(basename "$build"), 64-bit Windows (WoW64)" "$build" \
    --output-on-failure --timeout 300 -L e2e "$@"

pinnit_log "how long each stage took:"
printf '  %s\n' "${stages[@]}" >&2
exit $status
