#!/bin/sh
# gtest-result.sh REPORT SUITE.TEST: one test's result, read from the XML report
# of the GoogleTest run that ran it among all the others: passes if it passed,
# prints its failures and fails if it failed or is not in the report.
entry=$(awk -v suite="${2%%.*}" -v name="${2#*.}" '/<testcase / {
    here = index($0, " name=\"" name "\"") && index($0, " classname=\"" suite "\"") }
    here { print; if ($0 ~ /<\/testcase>|\/>[ \t]*$/) exit }' "$1" 2>/dev/null)
[ -n "$entry" ] || { echo "$2 is not in $1: it did not run" && exit 1; }
printf '%s\n' "$entry" | grep -q '<failure' || exit 0
printf '%s\n' "$entry" | sed -n '/<failure/,/<\/failure>/p' | sed -e 's/^.*<!\[CDATA\[//' -e 's/]]>.*$//' -e '/<failure/d'
echo "$2 failed" && exit 1
