#!/bin/sh
# gtest-result.sh REPORT SUITE.TEST: one test's result, read from the XML report
# of the GoogleTest run that ran it among all the others: passes if it passed,
# prints its failures and fails if it failed, fails if it is not in the report.
report=$1 suite=${2%%.*} name=${2#*.}
entry=$(awk -v suite="$suite" -v name="$name" '
    /<testcase / { here = index($0, " name=\"" name "\"") && index($0, " classname=\"" suite "\"") }
    here { print; if ($0 ~ /<\/testcase>|\/>[ \t]*$/) exit }
' "$report" 2>/dev/null)
if [ -z "$entry" ]; then
    echo "$2 is not in $report: it did not run"
    exit 1
fi
if printf '%s\n' "$entry" | grep -q '<failure'; then
    printf '%s\n' "$entry" | sed -n '/<failure/,/<\/failure>/p' | sed -e 's/^.*<!\[CDATA\[//' -e 's/]]>.*$//' -e '/<failure/d'
    echo "$2 failed"
    exit 1
fi
