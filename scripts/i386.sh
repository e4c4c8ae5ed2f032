# shellcheck shell=bash
# How this machine runs 32-bit Wine; sourced by lib.sh.
#
# Some machines refuse to execute any 32-bit x86 Linux program ("Exec format
# error"), Debian's 32-bit Wine among them. There Wine's 32-bit processes run
# under qemu's user-mode emulator, which the kernel is told to hand every 32-bit
# x86 program to (Debian's wine32 brings a 32-bit Wine server, so it too); all
# else stays native.
# PINNIT_I386=emulated uses the emulation even where the kernel would not need
# it; PINNIT_I386=native refuses it.

PINNIT_BINFMT=/proc/sys/fs/binfmt_misc
PINNIT_BINFMT_ENTRY=$PINNIT_BINFMT/qemu-i386
PINNIT_QEMU=/usr/bin/qemu-i386
# qemu's own magic and mask for 32-bit x86 executables and shared objects.
PINNIT_I386_MAGIC='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
PINNIT_I386_MASK='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
PINNIT_BACKPORTS_SOURCES=/etc/apt/sources.list.d/pinnit-backports.sources
PINNIT_BACKPORTS_PIN=/etc/apt/preferences.d/pinnit-backports

# pinnit_write_root FILE: writes standard input to FILE as root.
pinnit_write_root() {
    $PINNIT_SUDO tee "$1" >/dev/null
}

pinnit_emulator_enabled() {
    [ -f "$PINNIT_BINFMT_ENTRY" ] && head -n 1 "$PINNIT_BINFMT_ENTRY" | grep -qx enabled
}

# Builds a 32-bit x86 program into DIR that sleeps a fifth of a second, long
# enough to be looked at from outside, and exits with code 7.
pinnit_build_probe() {
    gcc -m32 -nostdlib -static -x assembler - -o "$1/exit7" <<'EOF'
.globl _start
_start:
    movl $162, %eax     # nanosleep(&pause, NULL)
    movl $pause, %ebx
    xorl %ecx, %ecx
    int $0x80
    movl $1, %eax       # exit(7)
    movl $7, %ebx
    int $0x80
.data
pause: .long 0, 200000000
EOF
}

pinnit_probe_runs() {
    local status=0
    "$1/exit7" 2>/dev/null || status=$?
    [ "$status" -eq 7 ]
}

# The kernel's table of interpreters, which a root filesystem or a machine may
# not have mounted: unseen, an entry in it still hands programs to its emulator.
pinnit_mount_binfmt() {
    mountpoint -q "$PINNIT_BINFMT" || $PINNIT_SUDO mount -t binfmt_misc binfmt_misc "$PINNIT_BINFMT"
}

# Answers whether the kernel itself executes the probe. An emulator registered
# by an earlier run would answer for it, so it is switched off first and stays
# off where it is not needed.
pinnit_kernel_runs_i386() {
    pinnit_mount_binfmt 2>/dev/null ||
        pinnit_log "cannot mount $PINNIT_BINFMT: an emulator registered in it would pass for the kernel"
    if pinnit_emulator_enabled; then
        echo 0 | pinnit_write_root "$PINNIT_BINFMT_ENTRY" || return 1
    fi
    pinnit_probe_runs "$1"
}

# qemu before 10 may ignore MAP_FIXED_NOREPLACE, and Wine then cannot map its
# shared user data. Debian 13's own qemu is new enough; Debian 12's (7.2) is not,
# and comes from bookworm-backports instead, pinned so that the backports suite
# serves qemu-user and nothing else.
pinnit_install_qemu() {
    local major suite mirror
    major=$("$PINNIT_QEMU" --version 2>/dev/null | sed -n '1s/.* version \([0-9]*\)\..*/\1/p')
    [ "${major:-0}" -ge 10 ] && return 0

    pinnit_apt_update
    major=$(apt-cache policy qemu-user | sed -n 's/^ *Candidate: \([0-9]*:\)\{0,1\}\([0-9]*\).*/\2/p')
    if [ "${major:-0}" -ge 10 ]; then
        pinnit_log "installing qemu-user"
        pinnit_apt_install qemu-user
        return
    fi

    suite=$(. /etc/os-release && echo "$VERSION_CODENAME")-backports
    mirror=$(pinnit_debian_mirror) || { pinnit_log "no Debian archive in this machine's apt sources"; return 1; }
    pinnit_log "installing qemu-user from $suite ($mirror)"
    pinnit_write_root "$PINNIT_BACKPORTS_SOURCES" <<EOF || return 1
Types: deb
URIs: $mirror
Suites: $suite
Components: main
Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg
EOF
    pinnit_write_root "$PINNIT_BACKPORTS_PIN" <<EOF || return 1
Package: *
Pin: release n=$suite
Pin-Priority: -1

Package: qemu-user
Pin: release n=$suite
Pin-Priority: 500
EOF
    pinnit_apt_sources_changed
    pinnit_apt_install qemu-user
}

# Tells the kernel to hand 32-bit x86 programs to this machine's emulator. Flag F
# opens the emulator once, here, and the entry keeps that file whatever its path
# names later: an entry left by an earlier command may hold another qemu, even
# one of a root filesystem that is gone, so it is always made anew.
pinnit_register_qemu() {
    pinnit_mount_binfmt || return 1
    if [ -f "$PINNIT_BINFMT_ENTRY" ]; then
        echo -1 | pinnit_write_root "$PINNIT_BINFMT_ENTRY" || return 1
    fi
    printf '%s\n' ":qemu-i386:M::$PINNIT_I386_MAGIC:$PINNIT_I386_MASK:$PINNIT_QEMU:F" |
        pinnit_write_root "$PINNIT_BINFMT/register"
}

# Whether the probe in DIR runs, and under this machine's own emulator: the
# program the kernel started for it must be the very file $PINNIT_QEMU names.
pinnit_probe_runs_under_qemu() {
    local pid exe="" shell status=0
    shell=$(stat -L -c %d:%i "/proc/$$/exe")
    "$1/exit7" &
    pid=$!
    while kill -0 "$pid" 2>/dev/null; do
        exe=$(stat -L -c %d:%i "/proc/$pid/exe" 2>/dev/null) || break
        [ "$exe" = "$shell" ] || break
    done
    wait "$pid" || status=$?
    [ "$status" -eq 7 ] && [ "$exe" = "$(stat -L -c %d:%i "$PINNIT_QEMU")" ]
}

# Builds the fault fix (trapfix.c) for 32-bit processes and an empty twin for
# 64-bit ones, which ld.so tells apart by $LIB, and preloads them.
pinnit_preload_trapfix() {
    local dir=$1
    mkdir -p "$dir/lib/i386-linux-gnu" "$dir/lib/x86_64-linux-gnu" || return 1
    gcc -m32 -nostdlib -shared -fPIC -O2 -fno-stack-protector -Wall -Wextra -Werror \
        "$PINNIT_ROOT/scripts/trapfix.c" -o "$dir/lib/i386-linux-gnu/pinnit-trapfix.so" || return 1
    gcc -nostdlib -shared -x c /dev/null -o "$dir/lib/x86_64-linux-gnu/pinnit-trapfix.so" || return 1
    export LD_PRELOAD="$dir/\$LIB/pinnit-trapfix.so${LD_PRELOAD:+ $LD_PRELOAD}"
}

# Finds out how 32-bit programs run here, says so, and sets up the emulation
# where they need it. Runs before anything 32-bit is installed, whose install
# scripts would otherwise fail. Exports PINNIT_I386 as native or emulated.
pinnit_setup_i386() {
    local dir=$PINNIT_ROOT/build/i386 mode=${PINNIT_I386:-auto}
    case $mode in
    auto | native | emulated) ;;
    *) pinnit_fail "PINNIT_I386 is '$mode'; it must be auto, native or emulated" ;;
    esac
    case $dir in *[[:space:]:]*) pinnit_fail "the project's path must not hold spaces or colons: $PINNIT_ROOT" ;; esac
    # The probe and the fault fix are built with the machine's own compiler, and
    # CMake's builds need make: a minimal Debian has neither.
    if ! command -v gcc >/dev/null || ! command -v make >/dev/null; then
        pinnit_log "installing gcc make"
        pinnit_apt_install gcc make || pinnit_fail "installing gcc make"
    fi
    mkdir -p "$dir" && pinnit_build_probe "$dir" || pinnit_fail "building a 32-bit x86 probe with gcc -m32"

    local why="PINNIT_I386=emulated"
    if [ "$mode" != emulated ]; then
        if pinnit_kernel_runs_i386 "$dir"; then
            export PINNIT_I386=native
            pinnit_log "this machine executes 32-bit x86 programs: 32-bit Wine runs natively"
            return 0
        fi
        [ "$mode" = native ] &&
            pinnit_fail "this machine does not execute 32-bit x86 programs, and PINNIT_I386=native refuses the emulation"
        why="this machine does not execute 32-bit x86 programs"
    fi
    export PINNIT_I386=emulated
    pinnit_log "$why: 32-bit Wine runs under qemu's user-mode emulator"
    pinnit_install_qemu || pinnit_fail "installing qemu-user (version 10 or later)"
    pinnit_register_qemu || pinnit_fail "registering $PINNIT_QEMU for 32-bit x86 programs in $PINNIT_BINFMT"
    pinnit_probe_runs_under_qemu "$dir" || pinnit_fail "running a 32-bit x86 probe under $PINNIT_QEMU"
    pinnit_log "32-bit programs run under $("$PINNIT_QEMU" --version | head -n 1) ($PINNIT_QEMU)"
    pinnit_preload_trapfix "$dir" || pinnit_fail "building the fault fix scripts/trapfix.c with gcc -m32"
    # Without this, qemu looks every file name up under its default library prefix,
    # behind one lock: a thread that forks while another holds it leaves the child
    # waiting forever for it, and a Wine process starting another would hang.
    export QEMU_LD_PREFIX=/
}

# pinnit_check_i386 BINDIR: under the emulation, a 32-bit Windows program must
# catch a page fault as an access violation and exit with the code it is given.
pinnit_check_i386() {
    [ "$PINNIT_I386" = emulated ] || return 0
    local code=$((RANDOM % 100 + 2)) status=0
    "$PINNIT_ROOT/scripts/wine-test.sh" "$1/faultcheck.exe" "$code" || status=$?
    [ "$status" -eq "$code" ] ||
        pinnit_fail "checking the emulation: faultcheck.exe exited with $status instead of $code"
    pinnit_log "the emulation passed its check: a 32-bit Windows program caught a page fault"
}
