#!/bin/sh
# Runs one test program under Wine for CTest. Wine's desktop and services, which
# the program starts, outlive it and would hold CTest's output pipe open: the
# output goes through a file instead, and the next test starts only once they
# have gone, or been ended when they do not go by themselves.
out=$(mktemp)
wine "$@" >"$out" 2>&1
status=$?
timeout 60 wineserver -w || wineserver -k
cat "$out"
rm -f "$out"
exit $status
