#!/usr/bin/env bash
# Runs one test program under Wine for CTest, in the Wine session that the test
# command keeps up. The program and every Windows process it starts (the desktop
# it opens, a pinnit it leaves behind) carry a mark in their environment: once
# the program has ended, or has run past its time, whatever still carries the
# mark is ended, so that a hung test fails alone and the next finds the session
# clean. The output goes through a file, which nothing left behind can hold open.
# Given --gtest_output=xml:FILE, the run passes once FILE is written: each test's
# result is then read from it.
source "$(dirname "$0")/lib.sh"
limit=${PINNIT_TEST_TIMEOUT:-280}
mark=pinnit-test-$$-$(date +%s%N)
out=$(mktemp)
report=""
for arg; do
    case $arg in --gtest_output=xml:*) report=${arg#--gtest_output=xml:} ;; esac
done
[ -z "$report" ] || rm -f "$report"

PINNIT_TEST_MARK=$mark timeout -s KILL "$limit" wine "$@" >"$out" 2>&1
status=$?
[ "$status" -ne 137 ] || echo "wine-test.sh: $1 ran past $limit s and was ended" >>"$out"
pinnit_end_marked "$mark"

cat "$out"
rm -f "$out"
if [ -n "$report" ] && [ "$status" -ne 137 ] && [ -s "$report" ]; then
    status=0
fi
exit "$status"
