# shellcheck shell=bash
# Shared by the run and test scripts: installs what is missing, builds, and
# prepares a display and a Wine prefix. Everything started here is ended by pid.

PINNIT_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)

PINNIT_SUDO=""
[ "$(id -u)" -eq 0 ] || PINNIT_SUDO=sudo

# Debian's 64-bit Wine server (package wine64) serves 32-bit and 64-bit prefixes
# alike, and never runs under the emulator, where every call of every Wine
# process would wait on it.
PINNIT_WINESERVER=/usr/lib/wine/wineserver64

# Downloads retry by themselves; a failed update of the lists is tried this often,
# this many seconds apart, before the lists the machine has are used.
PINNIT_APT_OPTIONS=(-q -o Acquire::Retries=5)
PINNIT_APT_TRIES=${PINNIT_APT_TRIES:-4}
PINNIT_APT_PAUSE=${PINNIT_APT_PAUSE:-60}
# Set once the lists have been updated (or given up on) by this command.
PINNIT_APT_UPDATED=""
# What the archive served wrong, told when a set-up step then fails.
PINNIT_APT_FAULTS=""

pinnit_log() { printf 'pinnit: %s\n' "$*" >&2; }

pinnit_fail() {
    pinnit_log "set-up step failed: $*"
    if [ -n "$PINNIT_APT_FAULTS" ]; then
        pinnit_log "Debian's archive, or a proxy on the way to it, served these files wrong, so apt could not fetch them:"
        printf '%s\n' "$PINNIT_APT_FAULTS" | sort -u | while read -r fault; do pinnit_log "  $fault"; done
        pinnit_log "That is a fault of the archive (often a mirror in the middle of a sync), not of pinnit."
        [ -n "${PINNIT_ROOTFS_NEXT:-}" ] ||
            pinnit_log "Run the command again later: such a fault usually heals within minutes or hours."
    fi
    exit 1
}

# Reads apt's output and names each file it could not fetch, an index by its suite.
pinnit_apt_faults() {
    local url reason suite
    sed -n 's/^[EW]: Failed to fetch \([^ ]*\) *\(.*\)$/\1 \2/p' | sed 's/ *\[IP: [^]]*\]//' |
        while read -r url reason; do
            case $url in
            */dists/*)
                suite=${url#*/dists/}
                echo "the index ${suite#*/} of the suite ${suite%%/*} ($reason)"
                ;;
            *) echo "the file $url ($reason)" ;;
            esac
        done
}

# pinnit_apt APT-GET-ARGUMENTS...: runs apt-get, showing its output, and keeps what
# it could not fetch for pinnit_fail.
pinnit_apt() {
    local out found status
    out=$(mktemp)
    { DEBIAN_FRONTEND=noninteractive $PINNIT_SUDO apt-get "${PINNIT_APT_OPTIONS[@]}" "$@" 2>&1 ||
        echo "$?" >"$out.status"; } | tee "$out"
    status=$(cat "$out.status" 2>/dev/null || echo 0)
    found=$(pinnit_apt_faults <"$out")
    [ -z "$found" ] || PINNIT_APT_FAULTS+=${PINNIT_APT_FAULTS:+$'\n'}$found
    rm -f "$out" "$out.status"
    return "$status"
}

# The next install updates the lists again: the sources or architectures changed.
pinnit_apt_sources_changed() {
    PINNIT_APT_UPDATED=""
}

# Updates the package lists once per command. An archive caught in the middle of
# a sync heals in minutes, so a failed update is tried again; after the last try
# the install goes on with the lists the machine has, and only a failed install stops it.
pinnit_apt_update() {
    [ -z "$PINNIT_APT_UPDATED" ] || return 0
    PINNIT_APT_UPDATED=1
    local try faults=$PINNIT_APT_FAULTS
    # Only the last try's faults are kept.
    for try in $(seq "$PINNIT_APT_TRIES"); do
        PINNIT_APT_FAULTS=$faults
        pinnit_apt update && { PINNIT_APT_FAULTS=$faults; return 0; }
        [ "$try" -eq "$PINNIT_APT_TRIES" ] || {
            pinnit_log "updating the package lists failed (try $try of $PINNIT_APT_TRIES); trying again in $PINNIT_APT_PAUSE s"
            sleep "$PINNIT_APT_PAUSE"
        }
    done
    pinnit_log "updating the package lists failed (tries: $PINNIT_APT_TRIES); going on with the lists this machine has"
}

# pinnit_apt_install PACKAGE...: from Debian's archive, without recommends.
pinnit_apt_install() {
    pinnit_apt_update
    pinnit_apt install -y --no-install-recommends "$@"
}

# The archive this machine installs Debian from, as its own apt sources name it,
# so that a local mirror or proxy serves the emulator too. PINNIT_DEBIAN_MIRROR overrides it.
pinnit_debian_mirror() {
    if [ -n "${PINNIT_DEBIAN_MIRROR:-}" ]; then
        echo "$PINNIT_DEBIAN_MIRROR"
        return
    fi
    local suite
    suite=$(. /etc/os-release && echo "$VERSION_CODENAME")/main
    apt-cache policy | awk -v suite="$suite" '$3 == suite { print $2; exit }' | grep .
}

source "$PINNIT_ROOT/scripts/i386.sh"
source "$PINNIT_ROOT/scripts/rootfs.sh"

# pinnit_install_deps [build]: installs from Debian's archive what is missing: the
# toolchain and the release tools, and unless "build" is given, Wine, the X tools
# and the tools the tests use.
# shellcheck disable=SC2120 # release.sh passes "build"
pinnit_install_deps() {
    local need=()
    command -v i686-w64-mingw32-g++-posix >/dev/null || need+=(g++-mingw-w64-i686 binutils-mingw-w64-i686)
    command -v cmake >/dev/null || need+=(cmake)
    command -v strip-nondeterminism >/dev/null || need+=(strip-nondeterminism)
    if [ "${1:-}" != build ]; then
        # 32-bit Wine, and 64-bit Wine for a prefix that is 64-bit Windows.
        command -v wine >/dev/null && dpkg -s wine32:i386 wine64 >/dev/null 2>&1 || need+=(wine wine32:i386 wine64)
        command -v Xvfb >/dev/null || need+=(xvfb xauth)
        command -v import >/dev/null || need+=(imagemagick)
        command -v xdpyinfo >/dev/null || need+=(x11-utils)
        command -v clang >/dev/null || need+=(clang)
        # The Visual Studio branch's stand-ins: clang-cl (below), lld-link, llvm-rc
        # (and llvm-readobj).
        command -v lld-link >/dev/null || need+=(lld)
        command -v llvm-rc >/dev/null || need+=(llvm)
        [ -d /usr/src/googletest ] || need+=(googletest)
        [ -f /usr/share/wine/fonts/marlett.ttf ] || need+=(fonts-wine)
        command -v shellcheck >/dev/null || need+=(shellcheck)
    fi
    if [ ${#need[@]} -gt 0 ]; then
        pinnit_log "installing ${need[*]}"
        if ! dpkg --print-foreign-architectures | grep -qx i386; then
            $PINNIT_SUDO dpkg --add-architecture i386
            pinnit_apt_sources_changed
        fi
        pinnit_apt_install "${need[@]}" || pinnit_fail "installing ${need[*]}"
    fi
    # clang-cl comes with the tools of the release's own LLVM, named by its version.
    if [ "${1:-}" != build ]; then
        local llvm
        llvm=$(clang -dumpversion | cut -d. -f1)
        command -v "clang-cl-$llvm" >/dev/null ||
            { pinnit_log "installing clang-tools-$llvm" && pinnit_apt_install "clang-tools-$llvm"; } ||
            pinnit_fail "installing clang-tools-$llvm"
    fi
}

pinnit_setup_machine() {
    pinnit_setup_i386 && pinnit_install_deps
}

# pinnit_setup ARGS...: readies this machine for the command, or where its apt
# cannot install what the command needs, runs the command with ARGS in pinnit's
# own root filesystem instead (see rootfs.sh) and exits with its status.
pinnit_setup() {
    case ${PINNIT_ROOTFS:-auto} in
    0)
        pinnit_setup_machine
        return
        ;;
    1)
        pinnit_log "PINNIT_ROOTFS=1: ${0##*/} runs in a root filesystem of its own, not on this machine"
        pinnit_rootfs_run "$@"
        ;;
    auto) ;;
    *) pinnit_fail "PINNIT_ROOTFS is '$PINNIT_ROOTFS'; it must be 0, 1 or unset" ;;
    esac
    # A subshell, so that a failed step ends only the try; once it succeeds the
    # steps run again here for what they export, and find nothing left to install.
    # Once the root filesystem is there, a machine that still cannot install
    # gets one update, not minutes of them.
    if (PINNIT_ROOTFS_NEXT=1 && { ! pinnit_rootfs_made || PINNIT_APT_TRIES=1; } && pinnit_setup_machine); then
        pinnit_setup_machine
        return
    fi
    pinnit_log "this machine's apt could not install what ${0##*/} needs (above), so it needs a root filesystem of its own"
    # The lists were updated, or given up on, in the try.
    PINNIT_APT_UPDATED=1
    pinnit_rootfs_run "$@"
}

# pinnit_build DIR TOOLCHAIN [cmake options...]
pinnit_build() {
    local dir=$1 toolchain=$2
    shift 2
    cmake -S "$PINNIT_ROOT" -B "$dir" -DCMAKE_TOOLCHAIN_FILE="$PINNIT_ROOT/cmake/$toolchain.cmake" "$@" >/dev/null
    cmake --build "$dir" -j "$(nproc)"
}

# Starts a private Xvfb on the first free display and exports DISPLAY; sets PINNIT_XVFB_PID.
pinnit_start_xvfb() {
    local n=90
    # A server in another root filesystem shows only by its abstract socket.
    while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ] ||
        grep -q "@/tmp/.X11-unix/X$n\$" /proc/net/unix; do n=$((n + 1)); done
    Xvfb ":$n" -screen 0 1024x700x24 -nolisten tcp >/dev/null 2>&1 &
    PINNIT_XVFB_PID=$!
    export DISPLAY=":$n"
    for _ in $(seq 50); do
        xdpyinfo >/dev/null 2>&1 && kill -0 "$PINNIT_XVFB_PID" 2>/dev/null && return 0
        sleep 0.1
    done
    pinnit_log "Xvfb did not start on $DISPLAY"
    return 1
}

# pinnit_make_prefix DIR [desktop] [win64]: a fresh Wine prefix whose virtual
# desktop has a taskbar; with "desktop", every program started in it opens in
# that desktop. It is 32-bit Windows, or with "win64" 64-bit Windows, where
# 32-bit programs run under WoW64 beside a 64-bit taskbar.
pinnit_make_prefix() {
    export WINEPREFIX=$1 WINEARCH=${3:-win32} WINEDEBUG=${WINEDEBUG:--all} WINESERVER=$PINNIT_WINESERVER
    export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
    # Under the emulator a crash would start winedbg, which waits forever for a terminal.
    [ "${PINNIT_I386:-}" != emulated ] || WINEDLLOVERRIDES+=";winedbg.exe=d"
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        pinnit_log "creating the Wine prefix $WINEPREFIX (takes a while the first time)"
        mkdir -p "$(dirname "$WINEPREFIX")"
        wineboot -i >/dev/null 2>&1 || pinnit_fail "creating the Wine prefix $WINEPREFIX with wineboot"
        "$WINESERVER" -w
    fi
    # Debian's 32-bit Wine does not look in its own font folder: without Marlett
    # the caption buttons come out as letters, without Tahoma dialogs use DejaVu.
    cp /usr/share/wine/fonts/*.ttf "$WINEPREFIX/drive_c/windows/Fonts/"
    # Wine 8 reads EnableShell for every desktop, Wine 10 from each desktop's own key.
    wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v EnableShell /t REG_DWORD /d 1 /f >/dev/null 2>&1
    wine reg add 'HKCU\Software\Wine\Explorer\Desktops\Default' /v EnableShell /t REG_DWORD /d 1 /f >/dev/null 2>&1
    if [ "${2:-}" = desktop ]; then
        wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /t REG_SZ /d 1024x700 /f >/dev/null 2>&1
        wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /t REG_SZ /d Default /f >/dev/null 2>&1
    fi
    # The registry reaches the disk only when the server exits by itself.
    "$WINESERVER" -w
}

# pinnit_end_marked MARK: ends every process whose environment holds
# PINNIT_TEST_MARK=MARK, which every Windows process inherits from the one it was
# given to, until none is left. The mark is never exported, so nothing else has it.
pinnit_end_marked() {
    local pids
    for _ in $(seq 20); do
        pids=$(grep -lxz "PINNIT_TEST_MARK=$1" /proc/[0-9]*/environ 2>/dev/null | cut -d/ -f3) || true
        [ -n "$pids" ] || return 0
        # shellcheck disable=SC2086 # one pid a word
        kill -KILL $pids 2>/dev/null
        sleep 0.1
    done
}

# Starts the prefix's server for good, and its services, so that the programs run
# in it one after another share one Wine session instead of each starting the
# server and the services anew.
pinnit_start_session() {
    PINNIT_SESSION_MARK=pinnit-session-$$-$(date +%s%N)
    "$WINESERVER" -p || pinnit_fail "starting $WINESERVER"
    PINNIT_TEST_MARK=$PINNIT_SESSION_MARK wine wineboot >/dev/null 2>&1 ||
        pinnit_fail "starting the Wine session's services with wineboot"
}

# Ends every Wine process of our own prefix. Under the emulator Wine 10's
# services can outlive their server: they are ended by their mark.
pinnit_end_session() {
    if [ -n "${WINEPREFIX:-}" ]; then "$WINESERVER" -k 2>/dev/null || true; fi
    if [ -n "${PINNIT_SESSION_MARK:-}" ]; then pinnit_end_marked "$PINNIT_SESSION_MARK"; fi
}

# Ends the Wine session and the Xvfb we started, if any.
pinnit_cleanup() {
    pinnit_end_session
    if [ -n "${PINNIT_XVFB_PID:-}" ]; then kill "$PINNIT_XVFB_PID" 2>/dev/null || true; fi
}
