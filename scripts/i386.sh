# shellcheck shell=bash
# How this machine runs 32-bit Wine; sourced by lib.sh. Where the kernel refuses
# 32-bit x86 programs ("Exec format error"), it hands them to qemu's user-mode
# emulator; all else stays native. PINNIT_I386=emulated uses the emulation even
# where it is not needed, PINNIT_I386=native refuses it.
# What it changes on such a machine, and how to undo it (as root):
# - Debian 12 only: /etc/apt/sources.list.d/pinnit-backports.sources and
#   /etc/apt/preferences.d/pinnit-backports (bookworm-backports, serving qemu-user
#   alone): rm both, then apt-get update;
# - the package qemu-user 10: apt-get purge qemu-user;
# - binfmt_misc mounted, with the entry qemu-i386: echo -1 > /proc/sys/fs/binfmt_misc/qemu-i386
#   (a reboot drops it too); an entry an emulated run left is switched off (echo 0)
#   where the kernel runs 32-bit code itself, and echo 1 switches it back on;
# - build/i386/: the fault fix and the Wine processes' environment: rm -rf build/i386.
# The entry is the kernel's, one for the machine and every root filesystem on it:
# run one command at a time.

PINNIT_BINFMT=/proc/sys/fs/binfmt_misc
PINNIT_BINFMT_ENTRY=$PINNIT_BINFMT/qemu-i386
PINNIT_QEMU=/usr/bin/qemu-i386

# The kernel's table of interpreters, which a root filesystem or a machine may
# not have mounted: unseen, an entry in it still hands programs to its emulator.
pinnit_mount_binfmt() { mountpoint -q "$PINNIT_BINFMT" || $PINNIT_SUDO mount -t binfmt_misc binfmt_misc "$PINNIT_BINFMT"; }

# Whether the kernel itself executes 32-bit x86 programs. arch-test -n takes no
# emulator's word for it, but an enabled entry takes them from the kernel: it is
# switched off, and stays off where it is not needed.
pinnit_kernel_runs_i386() {
    arch-test -n i386 >/dev/null && return 0
    pinnit_mount_binfmt || pinnit_log "cannot mount $PINNIT_BINFMT: an emulator registered in it may answer for the kernel"
    head -n 1 "$PINNIT_BINFMT_ENTRY" 2>/dev/null | grep -qx enabled || return 1
    echo 0 | $PINNIT_SUDO tee "$PINNIT_BINFMT_ENTRY" >/dev/null && arch-test -n i386 >/dev/null
}

# Wine needs qemu 10 (older ones may ignore MAP_FIXED_NOREPLACE): Debian 13's
# own; Debian 12's from bookworm-backports, pinned to serve qemu-user alone, from
# the archive this machine's apt sources name (or PINNIT_DEBIAN_MIRROR).
pinnit_install_qemu() {
    local suite=$PINNIT_RELEASE-backports mirror
    "$PINNIT_QEMU" --version 2>/dev/null | grep -q ' version [1-9][0-9]\.' && return 0
    [ "$PINNIT_RELEASE" = bookworm ] || { pinnit_install qemu-user && return; }
    mirror=${PINNIT_DEBIAN_MIRROR:-$(apt-cache policy | awk -v s="$PINNIT_RELEASE/main" '$3 == s { print $2; exit }')}
    [ -n "$mirror" ] || pinnit_failed "finding a Debian archive in this machine's apt sources" || return 1
    pinnit_log "qemu-user comes from $suite ($mirror)"
    printf 'Types: deb\nURIs: %s\nSuites: %s\nComponents: main\nSigned-By: %s\n' "$mirror" "$suite" \
        /usr/share/keyrings/debian-archive-keyring.gpg | $PINNIT_SUDO tee /etc/apt/sources.list.d/pinnit-backports.sources >/dev/null &&
        printf 'Package: *\nPin: release n=%s\nPin-Priority: -1\n\nPackage: qemu-user\nPin: release n=%s\nPin-Priority: 500\n' \
            "$suite" "$suite" | $PINNIT_SUDO tee /etc/apt/preferences.d/pinnit-backports >/dev/null &&
        PINNIT_APT_UPDATED="" pinnit_install "qemu-user/$suite"
}

# Hands 32-bit x86 programs (qemu's own magic and mask) to this machine's qemu.
# Flag F keeps the file opened here whatever its path names later, so an entry
# left by an earlier command (maybe of a root filesystem now gone) is made anew,
# must name this qemu, and must then run a 32-bit program (arch-test's probe).
pinnit_register_qemu() {
    pinnit_mount_binfmt || return 1
    [ ! -f "$PINNIT_BINFMT_ENTRY" ] || echo -1 | $PINNIT_SUDO tee "$PINNIT_BINFMT_ENTRY" >/dev/null || return 1
    printf ':qemu-i386:M::%s:%s:%s:F\n' '\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00' \
        '\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff' "$PINNIT_QEMU" |
        $PINNIT_SUDO tee "$PINNIT_BINFMT/register" >/dev/null &&
        grep -qx "interpreter $PINNIT_QEMU" "$PINNIT_BINFMT_ENTRY" && arch-test i386 >/dev/null
}

# pinnit_i386_native [BUILD]: whether the set-up found 32-bit code to run natively,
# as it wrote in BUILD (by default the checkout's build/).
pinnit_i386_native() { grep -qsx PINNIT_I386=native "${1:-$PINNIT_ROOT/build}/i386/env"; }

# Finds out how 32-bit programs run here, says so, and writes the environment of
# the commands' Wine processes (build/i386/env): under the emulation, the fault fix
# (trapfix.c, and an empty twin for 64-bit processes, told apart by ld.so's $LIB);
# QEMU_LD_PREFIX=/, which spares qemu a lookup behind a lock that a forked child
# could wait for forever; and no winedbg, which a crash starts to wait for a terminal.
pinnit_setup_i386() {
    local dir=$PINNIT_ROOT/build/i386 mode=${PINNIT_I386:-auto} why=PINNIT_I386=emulated
    case $mode in auto | native | emulated) ;; *) pinnit_failed "PINNIT_I386 is '$mode'; it must be auto, native or emulated" || return 1 ;; esac
    case $dir in *[[:space:]:]*) pinnit_failed "the project's path must not hold spaces or colons: $PINNIT_ROOT" || return 1 ;; esac
    mkdir -p "$dir/lib/i386-linux-gnu" "$dir/lib/x86_64-linux-gnu" || return 1
    if [ "$mode" != emulated ] && pinnit_kernel_runs_i386; then
        pinnit_log "this machine executes 32-bit x86 programs: 32-bit Wine runs natively"
        echo PINNIT_I386=native >"$dir/env"
        return 0
    fi
    [ "$mode" != native ] || pinnit_failed "this machine does not execute 32-bit x86 programs, and PINNIT_I386=native refuses the emulation" || return 1
    [ "$mode" = emulated ] || why="this machine does not execute 32-bit x86 programs"
    pinnit_log "$why: 32-bit Wine runs under qemu's user-mode emulator"
    pinnit_install_qemu || pinnit_failed "installing qemu-user (version 10 or later)" || return 1
    pinnit_register_qemu || pinnit_failed "registering $PINNIT_QEMU for 32-bit x86 programs in $PINNIT_BINFMT" || return 1
    pinnit_log "32-bit programs run under $("$PINNIT_QEMU" --version | head -n 1) ($PINNIT_QEMU)"
    gcc -m32 -nostdlib -shared -fPIC -O2 -fno-stack-protector -Wall -Wextra -Werror "$PINNIT_ROOT/scripts/trapfix.c" \
        -o "$dir/lib/i386-linux-gnu/pinnit-trapfix.so" && gcc -nostdlib -shared -x c /dev/null -o "$dir/lib/x86_64-linux-gnu/pinnit-trapfix.so" ||
        pinnit_failed "building the fault fix scripts/trapfix.c with gcc -m32" || return 1
    printf '%s\n' PINNIT_I386=emulated "LD_PRELOAD='$dir/\$LIB/pinnit-trapfix.so'" QEMU_LD_PREFIX=/ \
        "PINNIT_WINEDLLOVERRIDES=';winedbg.exe=d'" >"$dir/env"
}
