#!/usr/bin/env bash
# release-check.sh EXE: makes the release twice, from two exports of this tree in
# two folders, one after the other, in two time zones and under two umasks; fails
# unless both give the same SHA256SUMS and the zip's pinnit.exe is EXE byte for
# byte, the file that the tests of resources, header, imports and size read.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "$*" && exit 1; }

# release_in DIR TZ UMASK: the release made in a fresh export of the tree at DIR.
release_in() {
    mkdir -p "$1"
    (cd "$root" && git ls-files -z --cached --others --exclude-standard | tar --null -T - -cf -) | tar -xf - -C "$1"
    (cd "$1" && umask "$3" && TZ=$2 scripts/release.sh >/dev/null 2>&1) || fail "the release command failed in $1"
}

release_in "$work/first" UTC 022
release_in "$work/second/elsewhere" Pacific/Auckland 077
cat "$work/first/dist/SHA256SUMS"
diff "$work/first/dist/SHA256SUMS" "$work/second/elsewhere/dist/SHA256SUMS" || fail "two releases of the same sources differ"
mkdir "$work/unzipped" && (cd "$work/unzipped" && cmake -E tar xf "$work/first/dist/"pinnit-*-win32.zip)
cmp "$work/unzipped/pinnit.exe" "$1" || fail "the zip's pinnit.exe is not $1, the file the tests check"
echo "reproducible, and the zip holds the tested pinnit.exe"
