#!/usr/bin/env bash
# Builds pinnit and its tests with GCC (build/test) and Clang (build/test-clang),
# and pinnit alone through the Visual Studio branch (build/test-msvc); CTest runs
# every test of both builds, and its reports give each stage's time and count.
# Extra arguments go to ctest. PINNIT_TEST_SCOPE=gcc builds and tests GCC's alone.
set -euo pipefail
source "$(dirname "$0")/lib.sh"

begin=$SECONDS start=$SECONDS
pinnit_setup "$@"
stages=("$(printf '%-66s %5d s' installs $((SECONDS - start)))")
start=$SECONDS
mapfile -t dirs < <(pinnit_test_builds)
build=${dirs[0]} dirs=("${dirs[@]:1}")
pinnit_build_tests
stages+=("$(printf '%-66s %5d s' builds $((SECONDS - start)))")

# ctest_in DIR NAME ARGS...: CTest in DIR, its report in DIR/NAME.xml.
ctest_in() {
    ctest --test-dir "$1" --output-on-failure --timeout 300 --output-junit "$1/$2.xml" "${@:3}" "${ctest_args[@]}"
}
# Each build's Wine prefixes are kept from run to run (wine.sh makes what is not
# there). Natively the Clang build's tests run beside the GCC build's two
# sessions; under the emulation, whose Wine takes both cores, one test at a time.
# The benchmarks run last, alone.
ctest_args=("$@") status=0
if pinnit_i386_native; then
    logs=$(mktemp -d)
    ctest_in "$build" junit -j 2 -LE bench >"$logs/gcc" 2>&1 & gcc=$!
    [ -z "${dirs[*]}" ] || { ctest_in "${dirs[0]}" junit >"$logs/clang" 2>&1 & }
    wait "$gcc" || status=1
    [ -z "${dirs[*]}" ] || wait $! || status=1
    cat "$logs"/*
    rm -rf "$logs"
else
    ctest_in "$build" junit -LE bench || status=1
    [ -z "${dirs[*]}" ] || ctest_in "${dirs[0]}" junit || status=1
fi
ctest_in "$build" junit-bench -L bench || status=1

# The benchmarks' figures, then each group (its tests' first name, Setup and Release in Scripts).
awk '/<testcase name="Benchmark\./ { bench = 1 } bench && /<system-out>/ { shown = 1; sub(/.*<system-out>/, "") }
    /<\/system-out>/ { bench = shown = 0 } shown' "$build/junit-bench.xml"
for dir in "$build" "${dirs[@]}"; do
    while IFS= read -r line; do stages+=("$line"); done < <(awk -F'"' -v build="${dir##*/}" '/<testcase / && $8 != "disabled" {
        group = $2 ~ /^(Session|WoW64|VisualStudio|Benchmark)[0-9]*\./ ? $2 : $2 ~ /^(Scripts|Setup|Release)\./ ? "Scripts" : "tests"
        sub(/\..*/, "", group)
        if (!(group in count)) order[++groups] = group
        count[group]++; time[group] += $6; failed[group] += $8 != "run" }
        END { for (i = 1; i <= groups; i++) { g = order[i]
            printf "%-66s %5d s\n", build ": " g ": " count[g] - failed[g] " passed" (failed[g] ? ", " failed[g] " failed" : ""), time[g] } }' \
        "$dir"/junit*.xml)
done
stages+=("$(printf '%-66s %5d s' "in all" $((SECONDS - begin)))")
pinnit_log "how long each stage took (the tests' added up; beside each other, they take less):"
printf '  %s\n' "${stages[@]}" >&2
exit $status
