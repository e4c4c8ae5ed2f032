#!/usr/bin/env bash
# The set-up against an archive that serves an index wrong, with a stand-in
# apt-get: the update is tried again, the install still goes ahead, and when it
# fails the last lines name the index and its suite, blame the archive and say
# to run the command again later.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bin=$(mktemp -d)
trap 'rm -rf "$bin"' EXIT
cat >"$bin/apt-get" <<'STANDIN'
#!/bin/sh
echo "$*" >>"$(dirname "$0")/calls"
case " $* " in
*" update "*)
    echo "E: Failed to fetch http://mirror.example/debian-security/dists/bookworm-security/main/binary-i386/Packages.xz  File has unexpected size (374820 != 376004). Mirror sync in progress? [IP: 192.0.2.1 80]"
    exit 100 ;;
*) echo "E: Unable to locate package wine32:i386"; exit 100 ;;
esac
STANDIN
chmod +x "$bin/apt-get"

out=$(PATH="$bin:$PATH" PINNIT_APT_PAUSE=0 bash -c "source '$root/scripts/lib.sh'; PINNIT_SUDO=
    pinnit_apt_install wine32:i386 || pinnit_fail 'installing wine32:i386'" 2>&1)
status=$?
last=$(tail -n 4 <<<"$out")
failures=0
fail() {
    echo "FAILED: $1"
    failures=$((failures + 1))
}
[ "$status" -eq 1 ] || fail "exit status 1, not $status"
[ "$(grep -c " update" "$bin/calls") $(grep -c " install " "$bin/calls")" = "4 1" ] ||
    fail "the update tried 4 times, then one install: $(tr '\n' ';' <"$bin/calls")"
grep -q "the index main/binary-i386/Packages.xz of the suite bookworm-security (File has unexpected size (374820 != 376004). Mirror sync in progress?)" <<<"$last" ||
    fail "the index and its suite named last"
grep -q "fault of the archive" <<<"$last" || fail "the archive blamed"
grep -q "Run the command again later" <<<"$last" || fail "run again later"
[ "$failures" -eq 0 ] || { echo "--- the set-up's output:"; echo "$out"; exit 1; }
echo "the set-up names what the archive served wrong"
