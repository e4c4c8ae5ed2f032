#!/usr/bin/env bash
# Builds pinnit and its tests with GCC (build/test) and Clang (build/test-clang),
# and pinnit alone through the Visual Studio branch (build/test-msvc); CTest runs
# every test of both builds, and its reports give each stage's time and count.
# Extra arguments go to ctest. PINNIT_TEST_SCOPE=gcc builds and tests GCC's alone.
set -euo pipefail
source "$(dirname "$0")/lib.sh"

start=$SECONDS
pinnit_setup "$@"
stages=("$(printf '%-66s %5d s' installs $((SECONDS - start)))")
start=$SECONDS
build=${PINNIT_BUILD:-$PINNIT_ROOT/build/test} dirs=()
[ "${PINNIT_TEST_SCOPE:-all}" = gcc ] || dirs=("$build-clang")
pinnit_build "$build" mingw-gcc-i686 -DPINNIT_MSVC_BIN="${dirs:+$build-msvc/bin}"
if [ -n "${dirs[*]}" ]; then
    pinnit_build "$build-clang" mingw-clang-i686 -DPINNIT_WINEPREFIX="$build/wineprefix"
    pinnit_build "$build-msvc" clang-cl-i686 -DPINNIT_TESTS=OFF
fi
stages+=("$(printf '%-66s %5d s' builds $((SECONDS - start)))")

# Each run starts from fresh prefixes, which both builds share. The two sessions'
# tests run side by side, but not under the emulation, whose Wine takes both cores.
rm -rf "$build/wineprefix" "$build/wineprefix64"
jobs=$(grep -qx PINNIT_I386=native "$PINNIT_ROOT/build/i386/env" && nproc || echo 1)
status=0
for dir in "$build" "${dirs[@]}"; do
    ctest --test-dir "$dir" -j "$jobs" --output-on-failure --timeout 300 --output-junit "$dir/junit.xml" "$@" || status=1
    # The benchmarks' figures, then each group (its tests' first name, Setup and Release in Scripts).
    awk '/<testcase name="Benchmark\./ { bench = 1 } bench && /<system-out>/ { shown = 1; sub(/.*<system-out>/, "") }
        /<\/system-out>/ { bench = shown = 0 } shown' "$dir/junit.xml"
    while IFS= read -r line; do stages+=("$line"); done < <(awk -F'"' -v build="${dir##*/}" '/<testcase / {
        group = $2 ~ /^(Session|WoW64|VisualStudio|Benchmark)[0-9]*\./ ? $2 : $2 ~ /^(Scripts|Setup|Release)\./ ? "Scripts" : "tests"
        sub(/\..*/, "", group)
        if (!(group in count)) order[++groups] = group
        count[group]++; time[group] += $6; failed[group] += $8 != "run" }
        END { for (i = 1; i <= groups; i++) { g = order[i]
            printf "%-66s %5d s\n", build ": " g ": " count[g] - failed[g] " passed" (failed[g] ? ", " failed[g] " failed" : ""), time[g] } }' \
        "$dir/junit.xml")
done
pinnit_log "how long each stage took:"
printf '  %s\n' "${stages[@]}" >&2
exit $status
