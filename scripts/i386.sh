# shellcheck shell=bash
# How this machine runs 32-bit Wine; sourced by lib.sh.
#
# Some machines refuse to execute any 32-bit x86 Linux program ("Exec format
# error"), Debian's 32-bit Wine among them. There Wine's 32-bit processes run
# under qemu's user-mode emulator, which the kernel is told to hand every 32-bit
# x86 program to; all else stays native. PINNIT_I386=emulated uses the emulation
# even where the kernel would not need it; PINNIT_I386=native refuses it.

PINNIT_BINFMT=/proc/sys/fs/binfmt_misc
PINNIT_BINFMT_ENTRY=$PINNIT_BINFMT/qemu-i386
PINNIT_QEMU=/usr/bin/qemu-i386

# Whether the kernel itself executes 32-bit x86 programs. arch-test -n does not
# take an emulator's answer, but an enabled entry hands the kernel's programs to
# its emulator: it is switched off, and stays off where it is not needed. The
# table may not be mounted (a root filesystem, some machines), and its entries
# still act unseen, so it is mounted before it is read.
pinnit_kernel_runs_i386() {
    arch-test -n i386 >/dev/null && return 0
    mountpoint -q "$PINNIT_BINFMT" || $PINNIT_SUDO mount -t binfmt_misc binfmt_misc "$PINNIT_BINFMT" ||
        pinnit_log "cannot mount $PINNIT_BINFMT: an emulator registered in it may answer for the kernel"
    head -n 1 "$PINNIT_BINFMT_ENTRY" 2>/dev/null | grep -qx enabled || return 1
    echo 0 | $PINNIT_SUDO tee "$PINNIT_BINFMT_ENTRY" >/dev/null && arch-test -n i386 >/dev/null
}

# qemu before 10 may ignore MAP_FIXED_NOREPLACE, and Wine then cannot map its
# shared user data. Debian 13's own qemu is new enough; Debian 12's (7.2) is not,
# and comes from bookworm-backports instead, pinned so that the backports suite
# serves qemu-user and nothing else. Its archive is the one this machine's apt
# sources name (PINNIT_DEBIAN_MIRROR overrides it), so a local mirror serves it too.
pinnit_install_qemu() {
    local suite=$PINNIT_RELEASE-backports mirror
    "$PINNIT_QEMU" --version 2>/dev/null | grep -q ' version [1-9][0-9]\.' && return 0
    pinnit_apt_update
    if ! apt-cache policy qemu-user | grep -q 'Candidate: \([0-9]*:\)\{0,1\}[1-9][0-9]\.'; then
        mirror=${PINNIT_DEBIAN_MIRROR:-$(apt-cache policy | awk -v s="$PINNIT_RELEASE/main" '$3 == s { print $2; exit }')}
        [ -n "$mirror" ] || pinnit_failed "finding a Debian archive in this machine's apt sources" || return 1
        pinnit_log "qemu-user comes from $suite ($mirror)"
        printf 'Types: deb\nURIs: %s\nSuites: %s\nComponents: main\nSigned-By: %s\n' "$mirror" "$suite" \
            /usr/share/keyrings/debian-archive-keyring.gpg | $PINNIT_SUDO tee /etc/apt/sources.list.d/pinnit-backports.sources >/dev/null &&
            printf 'Package: *\nPin: release n=%s\nPin-Priority: -1\n\nPackage: qemu-user\nPin: release n=%s\nPin-Priority: 500\n' \
                "$suite" "$suite" | $PINNIT_SUDO tee /etc/apt/preferences.d/pinnit-backports >/dev/null || return 1
        PINNIT_APT_UPDATED="" pinnit_apt_update
    fi
    pinnit_install qemu-user
}

# Tells the kernel to hand 32-bit x86 programs (qemu's own magic and mask) to
# this machine's emulator. Flag F opens the emulator once, here, and the entry
# keeps that file whatever its path names later: an entry left by an earlier
# command may hold another qemu, even one of a root filesystem that is gone, so
# it is always made anew, and a 32-bit program must then answer with this qemu's
# version (QEMU_VERSION asks the emulator running it for its own).
pinnit_register_qemu() {
    [ ! -f "$PINNIT_BINFMT_ENTRY" ] || echo -1 | $PINNIT_SUDO tee "$PINNIT_BINFMT_ENTRY" >/dev/null || return 1
    printf ':qemu-i386:M::%s:%s:%s:F\n' '\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00' \
        '\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff' "$PINNIT_QEMU" |
        $PINNIT_SUDO tee "$PINNIT_BINFMT/register" >/dev/null &&
        [ "$(QEMU_VERSION=1 /usr/lib/arch-test/i386 | head -n 1)" = "$("$PINNIT_QEMU" --version | head -n 1)" ]
}

# Finds out how 32-bit programs run here and says so; where they need the
# emulation, sets it up and builds the fault fix (trapfix.c) for 32-bit
# processes, with an empty twin for 64-bit ones, which ld.so tells apart by $LIB.
# Writes build/i386/env, the environment every Wine process of the commands gets.
pinnit_setup_i386() {
    local dir=$PINNIT_ROOT/build/i386 mode=${PINNIT_I386:-auto} why=PINNIT_I386=emulated
    case $mode in auto | native | emulated) ;; *) pinnit_failed "PINNIT_I386 is '$mode'; it must be auto, native or emulated" || return 1 ;; esac
    case $dir in *[[:space:]:]*) pinnit_failed "the project's path must not hold spaces or colons: $PINNIT_ROOT" || return 1 ;; esac
    mkdir -p "$dir/lib/i386-linux-gnu" "$dir/lib/x86_64-linux-gnu" || return 1
    if [ "$mode" != emulated ]; then
        if pinnit_kernel_runs_i386; then
            pinnit_log "this machine executes 32-bit x86 programs: 32-bit Wine runs natively"
            echo "PINNIT_I386=native" >"$dir/env"
            return 0
        fi
        [ "$mode" = auto ] || pinnit_failed "this machine does not execute 32-bit x86 programs, and PINNIT_I386=native refuses the emulation" || return 1
        why="this machine does not execute 32-bit x86 programs"
    fi
    pinnit_log "$why: 32-bit Wine runs under qemu's user-mode emulator"
    pinnit_install_qemu || pinnit_failed "installing qemu-user (version 10 or later)" || return 1
    { mountpoint -q "$PINNIT_BINFMT" || $PINNIT_SUDO mount -t binfmt_misc binfmt_misc "$PINNIT_BINFMT"; } && pinnit_register_qemu ||
        pinnit_failed "registering $PINNIT_QEMU for 32-bit x86 programs in $PINNIT_BINFMT" || return 1
    pinnit_log "32-bit programs run under $("$PINNIT_QEMU" --version | head -n 1) ($PINNIT_QEMU)"
    gcc -m32 -nostdlib -shared -fPIC -O2 -fno-stack-protector -Wall -Wextra -Werror "$PINNIT_ROOT/scripts/trapfix.c" \
        -o "$dir/lib/i386-linux-gnu/pinnit-trapfix.so" && gcc -nostdlib -shared -x c /dev/null -o "$dir/lib/x86_64-linux-gnu/pinnit-trapfix.so" ||
        pinnit_failed "building the fault fix scripts/trapfix.c with gcc -m32" || return 1
    # QEMU_LD_PREFIX=/ keeps qemu from looking every file name up under its default
    # library prefix, behind one lock: a thread that forks while another holds it
    # leaves the child waiting forever. Under the emulator a crash would start
    # winedbg, which waits forever for a terminal.
    printf '%s\n' PINNIT_I386=emulated "LD_PRELOAD=$dir/\$LIB/pinnit-trapfix.so" QEMU_LD_PREFIX=/ \
        'PINNIT_WINEDLLOVERRIDES=;winedbg.exe=d' >"$dir/env"
}
