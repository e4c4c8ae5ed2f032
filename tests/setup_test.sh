#!/usr/bin/env bash
# setup_test.sh CASE: the set-up's choices, against stand-ins for apt-get and the kernel.
#   archive   an archive that serves an index wrong: the update is tried again,
#             the install still goes ahead, and when it fails the last lines name
#             the index and its suite, blame the archive and say to run again later;
#   fallback  the same by default: the command goes on in a root filesystem,
#             says where, what it costs and how to remove it, and ends with its status;
#   binfmt    an emulator registered in a table of interpreters that is not
#             mounted must not pass for the kernel running 32-bit programs.
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
failures=0
fail() {
    echo "FAILED: $1"
    failures=$((failures + 1))
}
# setup SWITCH: the command's set-up where a 32-bit package is missing, with a
# root filesystem that stands in for the real one.
setup() {
    printf '#!/bin/sh\necho "in the root filesystem: $*"\nexit 5\n' >"$bin/env"
    cp "$bin/env" "$bin/debootstrap"
    chmod +x "$bin/env" "$bin/debootstrap"
    PATH="$bin:$PATH" PINNIT_APT_TRIES=4 PINNIT_APT_PAUSE=0 PINNIT_ROOTFS=$1 PINNIT_ROOTFS_DIR=$bin/rootfs bash -c "
        source '$root/scripts/lib.sh'; PINNIT_SUDO=
        pinnit_setup_machine() { pinnit_install pinnit-standin:i386; }
        pinnit_setup --now" run.sh 2>&1
}

case $1 in
archive)
    out=$(setup 0)
    status=$?
    last=$(tail -n 4 <<<"$out")
    [ "$status" -eq 1 ] || fail "exit status 1, not $status"
    [ "$(grep -c " update" "$bin/calls") $(grep -c " install " "$bin/calls")" = "4 1" ] ||
        fail "the update tried 4 times, then one install: $(tr '\n' ';' <"$bin/calls")"
    grep -q "the index main/binary-i386/Packages.xz of the suite bookworm-security (File has unexpected size (374820 != 376004). Mirror sync in progress?)" <<<"$last" ||
        fail "the index and its suite named last"
    grep -q "fault of the archive" <<<"$last" || fail "the archive blamed"
    grep -q "Run the command again later" <<<"$last" || fail "run again later"
    ;;
fallback)
    out=$(setup "")
    status=$?
    [ "$status" -eq 5 ] || fail "the status of the command in the root filesystem, 5, not $status"
    grep -q "the index main/binary-i386/Packages.xz of the suite bookworm-security" <<<"$out" || fail "the index named"
    grep -q "Run the command again later" <<<"$out" && fail "no 'run again later' when the command goes on"
    grep -q "could not install what run.sh needs (above), so it needs a root filesystem of its own" <<<"$out" ||
        fail "why it goes on in a root filesystem"
    grep -q "made now with debootstrap in $bin/rootfs" <<<"$out" || fail "where the root filesystem is made"
    grep -q "some 4 GB" <<<"$out" || fail "how large it gets"
    grep -q "sudo rm -rf --one-file-system $bin/rootfs" <<<"$out" || fail "how to remove it"
    grep -q "in the root filesystem: .* $root/scripts/run.sh --now\$" <<<"$out" || fail "the command and its arguments run there"
    [ "$(grep -c " update" "$bin/calls")" = 4 ] || fail "the lists updated only in the try: $(tr '\n' ';' <"$bin/calls")"
    ;;
binfmt)
    # The kernel's table holds an enabled entry, seen only once mounted; while it
    # is enabled the emulator runs arch-test's probe, and answers for the kernel
    # unless asked not to (-n).
    mkdir -p "$bin/kernel" "$bin/binfmt"
    echo enabled >"$bin/kernel/qemu-i386"
    printf '#!/bin/sh\n[ -L "$2" ]\n' >"$bin/mountpoint"
    printf '#!/bin/sh\nfor target; do :; done\nrmdir "$target" && ln -s "%s" "$target"\n' "$bin/kernel" >"$bin/mount"
    printf '#!/bin/sh\n[ "$1" != -n ] && head -n 1 "%s" | grep -qx enabled\n' "$bin/kernel/qemu-i386" >"$bin/arch-test"
    chmod +x "$bin/mountpoint" "$bin/mount" "$bin/arch-test"
    out=$(PATH="$bin:$PATH" bash -c "source '$root/scripts/lib.sh'; PINNIT_SUDO= PINNIT_BINFMT='$bin/binfmt'
        PINNIT_BINFMT_ENTRY='$bin/binfmt/qemu-i386'; pinnit_kernel_runs_i386" 2>&1)
    status=$?
    [ "$status" -ne 0 ] || fail "the registered emulator taken for the kernel"
    [ "$(cat "$bin/kernel/qemu-i386")" = 0 ] || fail "the entry switched off, not '$(cat "$bin/kernel/qemu-i386")'"
    ;;
*) fail "no case '$1'" ;;
esac
[ "$failures" -eq 0 ] || { echo "--- the set-up's output:"; echo "$out"; exit 1; }
echo "set-up case $1: as it should be"
