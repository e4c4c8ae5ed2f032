# shellcheck shell=bash
# Sourced by the commands: installs what scripts/packages lists and this machine
# lacks, readies it for 32-bit code (i386.sh), or where its apt cannot install,
# goes on in a root filesystem of the commands' own (rootfs.sh); and builds.

PINNIT_ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
PINNIT_SUDO=$([ "$(id -u)" -eq 0 ] || echo sudo)
# Downloads retry by themselves; a failed update of the lists is tried this often,
# this many seconds apart, before the lists the machine has are used.
PINNIT_APT_TRIES=${PINNIT_APT_TRIES:-4} PINNIT_APT_PAUSE=${PINNIT_APT_PAUSE:-60}
PINNIT_APT_UPDATED="" # set once this command has updated the lists, or given up
PINNIT_APT_FAULTS=""  # what the archive served wrong, one file a line
PINNIT_ROOTFS_DIR=${PINNIT_ROOTFS_DIR:-/var/cache/pinnit/rootfs}
PINNIT_RELEASE=${PINNIT_RELEASE:-$(. /etc/os-release && echo "$VERSION_CODENAME")}

pinnit_log() { printf 'pinnit: %s\n' "$*" >&2; }
pinnit_failed() { pinnit_log "set-up step failed: $*" && return 1; }

# Names each file the archive served wrong, if any, and whose fault that is.
pinnit_tell_faults() {
    [ -n "$PINNIT_APT_FAULTS" ] || return 0
    pinnit_log "Debian's archive, or a proxy on the way to it, served these files wrong, so apt could not fetch them:"
    sort -u <<<"$PINNIT_APT_FAULTS" | while read -r fault; do pinnit_log "  $fault"; done
    pinnit_log "That is a fault of the archive (often a mirror in the middle of a sync), not of pinnit."
}

# pinnit_fail [STEP]: ends the command after a failed set-up step.
pinnit_fail() {
    [ $# -eq 0 ] || pinnit_failed "$@"
    pinnit_tell_faults && [ -z "$PINNIT_APT_FAULTS" ] ||
        pinnit_log "Run the command again later: such a fault usually heals within minutes or hours."
    exit 1
}

# pinnit_apt APT-GET-ARGUMENTS...: runs apt-get, showing its output, and keeps
# what it could not fetch, an index named by its suite.
pinnit_apt() {
    local out found status
    out=$(mktemp)
    DEBIAN_FRONTEND=noninteractive $PINNIT_SUDO apt-get -q -o Acquire::Retries=5 "$@" 2>&1 | tee "$out"
    status=${PIPESTATUS[0]}
    found=$(sed -n 's/^[EW]: Failed to fetch \([^ ]*\) *\(.*\)$/\1 \2/p' "$out" | sed -e 's/ *\[IP: [^]]*\]//' \
        -e 's|^[^ ]*/dists/\([^/]*\)/\([^ ]*\) \(.*\)|the index \2 of the suite \1 (\3)|' -e '/^the index/!s/^\([^ ]*\) \(.*\)/the file \1 (\2)/')
    [ -z "$found" ] || PINNIT_APT_FAULTS+=${PINNIT_APT_FAULTS:+$'\n'}$found
    rm -f "$out"
    return "$status"
}

# Updates the lists once per command, trying again, since an archive caught in a
# sync heals in minutes; after the last try (whose faults count) goes on without.
pinnit_apt_update() {
    [ -z "$PINNIT_APT_UPDATED" ] || return 0
    PINNIT_APT_UPDATED=1
    local try faults=$PINNIT_APT_FAULTS
    for try in $(seq "$PINNIT_APT_TRIES"); do
        PINNIT_APT_FAULTS=$faults
        pinnit_apt update && { PINNIT_APT_FAULTS=$faults && return 0; }
        [ "$try" -eq "$PINNIT_APT_TRIES" ] && break
        pinnit_log "updating the package lists failed (try $try of $PINNIT_APT_TRIES); trying again in $PINNIT_APT_PAUSE s"
        sleep "$PINNIT_APT_PAUSE"
    done
    pinnit_log "updating the package lists failed (tries: $PINNIT_APT_TRIES); going on with the lists this machine has"
}

# pinnit_install PACKAGE...: installs those that are not installed yet, if any.
pinnit_install() {
    local installed need=()
    installed=$(dpkg-query -W -f '${db:Status-Abbrev} ${binary:Package}\n' "$@" 2>/dev/null |
        awk -v native=":$(dpkg --print-architecture)" '$1 == "ii" { sub(native "$", "", $2); print $2 }')
    for package; do grep -qxF "$package" <<<"$installed" || need+=("$package"); done
    [ ${#need[@]} -gt 0 ] || return 0
    pinnit_log "installing ${need[*]}"
    if [[ " ${need[*]}" == *:i386* ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
        $PINNIT_SUDO dpkg --add-architecture i386 && PINNIT_APT_UPDATED=""
    fi
    pinnit_apt_update
    pinnit_apt install -y --no-install-recommends "${need[@]}" || pinnit_failed "installing ${need[*]}"
}

# pinnit_packages build|test: the packages a command of that kind needs.
pinnit_packages() {
    awk -v kind="$1" '$1 == "build" || $1 == kind { for (i = 2; i <= NF; i++) print $i }' "$PINNIT_ROOT/scripts/packages"
}

source "$PINNIT_ROOT/scripts/i386.sh"

# 32-bit packages come once the kernel can run them: their own scripts run them.
# How the kernel runs them is one setting for the machine and every root
# filesystem on it, so one set-up at a time makes it and installs them, under a
# lock on the checkout, which each root filesystem of it shares.
pinnit_setup_machine() {
    # shellcheck disable=SC2046 # one package a word
    pinnit_install $(pinnit_packages test | grep -v ':i386$') &&
        { flock -w 900 8 || pinnit_failed "waiting 900 s for another command's 32-bit set-up"; } &&
        pinnit_setup_i386 && pinnit_install $(pinnit_packages test)
} 8<"$PINNIT_ROOT"

pinnit_install_debootstrap() { command -v debootstrap >/dev/null || pinnit_install debootstrap; }

pinnit_rootfs_made() { [ "$(cat "$PINNIT_ROOTFS_DIR/.pinnit-release" 2>/dev/null)" = "$PINNIT_RELEASE" ]; }

# pinnit_setup ARGS...: readies this machine, or where its apt cannot install what
# the command needs, runs the command with ARGS in the root filesystem instead.
pinnit_setup() {
    case ${PINNIT_ROOTFS:-auto} in
    0) pinnit_setup_machine || pinnit_fail ;;
    1) pinnit_log "PINNIT_ROOTFS=1: ${0##*/} runs in a root filesystem of its own, not on this machine" ;;
    auto)
        # Once the root filesystem is there, one update, not minutes of them.
        ! pinnit_rootfs_made || PINNIT_APT_TRIES=1
        pinnit_setup_machine && return 0
        pinnit_tell_faults
        pinnit_log "this machine's apt could not install what ${0##*/} needs (above), so it needs a root filesystem of its own"
        ;;
    *) pinnit_fail "PINNIT_ROOTFS is '$PINNIT_ROOTFS'; it must be 0, 1 or unset" ;;
    esac
    [ "${PINNIT_ROOTFS:-auto}" != 0 ] || return 0
    local root=$PINNIT_ROOTFS_DIR
    if pinnit_rootfs_made; then
        pinnit_log "it goes on in the Debian $PINNIT_RELEASE root filesystem $root, kept from an earlier run"
    else
        pinnit_log "it goes on in a minimal Debian $PINNIT_RELEASE root filesystem, made now with debootstrap in $root"
        pinnit_log "  (about a minute, then the command's installs; it is kept and reused by later runs)"
    fi
    pinnit_log "  it takes some 4 GB with the tools, and 2 GB more for each checkout's builds and Wine prefixes, kept in it under $root/root"
    pinnit_log "  remove it, when no pinnit command runs, with: sudo rm -rf --one-file-system $root"
    pinnit_log "  PINNIT_ROOTFS=0 never uses it, PINNIT_ROOTFS=1 always does"
    pinnit_install_debootstrap || { pinnit_log "no root filesystem can be made here without debootstrap" && exit 3; }
    # The checkout's build/ is made by its owner: the machine's own builds go on using it.
    mkdir -p "$PINNIT_ROOT/build" || pinnit_fail "creating $PINNIT_ROOT/build"
    # This process becomes rootfs.sh: ending it, even with SIGKILL, ends all of the command.
    exec $PINNIT_SUDO env PINNIT_DEBIAN_MIRROR="${PINNIT_DEBIAN_MIRROR:-}" XAUTHORITY="${XAUTHORITY:-$HOME/.Xauthority}" \
        "$PINNIT_ROOT/scripts/rootfs.sh" "$root" "$PINNIT_RELEASE" "$PINNIT_ROOT" \
        env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 CI="${CI:-}" DISPLAY="${DISPLAY:-}" \
        PINNIT_ROOTFS=0 PINNIT_I386="${PINNIT_I386:-auto}" PINNIT_TEST_SCOPE="${PINNIT_TEST_SCOPE:-all}" \
        PINNIT_DEBIAN_MIRROR="${PINNIT_DEBIAN_MIRROR:-}" PINNIT_APT_TRIES="$PINNIT_APT_TRIES" \
        PINNIT_APT_PAUSE="$PINNIT_APT_PAUSE" GIT_CONFIG_COUNT=1 GIT_CONFIG_KEY_0=safe.directory \
        GIT_CONFIG_VALUE_0="$PINNIT_ROOT" "$PINNIT_ROOT/scripts/${0##*/}" "$@"
}

# pinnit_build DIR TOOLCHAIN [cmake options...]
pinnit_build() {
    cmake -S "$PINNIT_ROOT" -B "$1" -DCMAKE_TOOLCHAIN_FILE="$PINNIT_ROOT/cmake/$2.cmake" "${@:3}" >/dev/null &&
        cmake --build "$1" -j "$(nproc)"
}

# pinnit_test_builds: the test command's builds, one a line: GCC's with its tests
# (PINNIT_BUILD, or build/test), and unless PINNIT_TEST_SCOPE=gcc, Clang's beside it.
pinnit_test_builds() {
    local build=${PINNIT_BUILD:-$PINNIT_ROOT/build/test}
    echo "$build" && [ "${PINNIT_TEST_SCOPE:-all}" = gcc ] || echo "$build-clang"
}

# pinnit_build_tests: makes them; with Clang's, also pinnit alone through the
# Visual Studio branch (beside GCC's, with -msvc), whose pinnit.exe GCC's tests check.
pinnit_build_tests() {
    local builds
    mapfile -t builds < <(pinnit_test_builds)
    pinnit_build "${builds[0]}" mingw-gcc-i686 -DPINNIT_MSVC_BIN="${builds[1]:+${builds[0]}-msvc/bin}" || return
    [ ${#builds[@]} -eq 1 ] || { pinnit_build "${builds[1]}" mingw-clang-i686 -DPINNIT_WINEPREFIX="${builds[1]}/wineprefix" &&
        pinnit_build "${builds[0]}-msvc" clang-cl-i686 -DPINNIT_TESTS=OFF; }
}
