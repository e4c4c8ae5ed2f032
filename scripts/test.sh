#!/usr/bin/env bash
# Builds pinnit and its tests with warnings as errors, once with GCC (build/test)
# and once with Clang (build/test-clang), and pinnit alone through the Visual
# Studio branch (build/test-msvc); then CTest runs every test of both builds,
# each build's fixtures starting and ending the Wine sessions its tests run in.
# Ends with how long each stage took and how many tests passed, read from
# CTest's reports; fails when any build or test fails. Extra arguments go to
# ctest. PINNIT_TEST_SCOPE=gcc builds and tests the GCC build alone.
set -euo pipefail
source "$(dirname "$0")/lib.sh"

stages=()
start=$SECONDS
# stage NAME: the stage that has just ended, and how long it took.
stage() {
    stages+=("$(printf '%-66s %5d s' "$1" $((SECONDS - start)))")
    start=$SECONDS
}

pinnit_setup "$@"
stage installs
build=${PINNIT_BUILD:-$PINNIT_ROOT/build/test}
dirs=("$build")
if [ "${PINNIT_TEST_SCOPE:-all}" = gcc ]; then
    pinnit_build "$build" mingw-gcc-i686 -DPINNIT_MSVC_BIN=
else
    pinnit_build "$build" mingw-gcc-i686 -DPINNIT_MSVC_BIN="$build-msvc/bin"
    pinnit_build "$build-clang" mingw-clang-i686 -DPINNIT_WINEPREFIX="$build/wineprefix"
    pinnit_build "$build-msvc" clang-cl-i686 -DPINNIT_TESTS=OFF
    dirs+=("$build-clang")
fi
stage builds

# Each run starts from fresh prefixes, which both builds share.
rm -rf "$build/wineprefix" "$build/wineprefix64"
status=0
for dir in "${dirs[@]}"; do
    pinnit_log "running the tests of $dir"
    ctest --test-dir "$dir" -j "$(nproc)" --output-on-failure --timeout 300 --output-junit "$dir/junit.xml" "$@" || status=1
    # The benchmarks' figures, then each group of tests with its count and time.
    awk '/<testcase name="Benchmark\./ { bench = 1 } bench && /<system-out>/ { shown = 1; sub(/.*<system-out>/, "") }
        /<\/system-out>/ { bench = shown = 0 } shown' "$dir/junit.xml"
    while IFS= read -r line; do stages+=("$line"); done < <(awk -F'"' -v build="${dir##*/}" '/<testcase / {
        group = "tests, 32-bit Windows"
        if ($2 ~ /^Session/) group = "prefixes and sessions"
        if ($2 ~ /^WoW64\./) group = "end-to-end tests, 64-bit Windows (WoW64)"
        if ($2 ~ /^VisualStudio\./) group = "the Visual Studio branch\047s checks"
        if ($2 ~ /^Benchmark\./) group = "benchmarks"
        if ($2 ~ /^(Scripts|Setup|Release)\./) group = "the scripts, the set-up and the release"
        if (!(group in count)) order[++groups] = group
        count[group]++; time[group] += $6; failed[group] += $8 != "run" }
        END { for (i = 1; i <= groups; i++) { g = order[i]
            printf "%-66s %5d s\n", build ": " g ": " count[g] - failed[g] " passed" (failed[g] ? ", " failed[g] " failed" : ""), time[g] } }' \
        "$dir/junit.xml")
    start=$SECONDS
done
pinnit_log "how long each stage took:"
printf '  %s\n' "${stages[@]}" >&2
exit $status
