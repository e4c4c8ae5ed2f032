# shellcheck shell=bash
# Minimal Debian root filesystems made with debootstrap; sourced by lib.sh.
# rootfs-test.sh makes a fresh one for each run and removes it afterwards. The
# run and test commands keep one of their own, of this machine's release, and go
# on in it when this machine's apt cannot install what they need (an archive
# that serves one architecture's index wrong, or i386 builds that lag behind the
# amd64 ones): debootstrap takes both architectures from one suite.
# PINNIT_ROOTFS=1 always goes on in it, PINNIT_ROOTFS=0 never does.

PINNIT_ROOTFS_DIR=${PINNIT_ROOTFS_DIR:-/var/cache/pinnit/rootfs}
# Written last by pinnit_rootfs_make: a root filesystem without it is unfinished.
PINNIT_ROOTFS_MARK=.pinnit-release
# The switches as the command was given them, for its run in a root filesystem.
PINNIT_ROOTFS_SWITCHES=(PINNIT_I386="${PINNIT_I386:-auto}" PINNIT_TEST_SCOPE="${PINNIT_TEST_SCOPE:-all}"
    PINNIT_DEBIAN_MIRROR="${PINNIT_DEBIAN_MIRROR:-}" PINNIT_APT_TRIES="$PINNIT_APT_TRIES"
    PINNIT_APT_PAUSE="$PINNIT_APT_PAUSE")

pinnit_release() {
    (. /etc/os-release && echo "$VERSION_CODENAME")
}

# pinnit_rootfs_make ROOT RELEASE: a minimal Debian RELEASE in ROOT, from
# debootstrap's own default archive unless PINNIT_DEBIAN_MIRROR names one.
pinnit_rootfs_make() {
    local root=$1 release=$2
    command -v debootstrap >/dev/null || pinnit_apt_install debootstrap || return 1
    pinnit_log "making a minimal Debian $release in $root"
    mkdir -p "$root" || return 1
    debootstrap --variant=minbase --include=ca-certificates,git "$release" "$root" \
        ${PINNIT_DEBIAN_MIRROR:+"$PINNIT_DEBIAN_MIRROR"} >"$root.log" 2>&1 ||
        { tail -20 "$root.log" >&2; rm -f "$root.log"; return 1; }
    rm -f "$root.log"
    echo "$release" >"$root/$PINNIT_ROOTFS_MARK"
}

# pinnit_rootfs_mount ROOT: the kernel's file systems, as its programs need them.
# binfmt_misc is left to the set-up inside, which mounts it before asking.
pinnit_rootfs_mount() {
    local root=$1
    cp /etc/resolv.conf "$root/etc/resolv.conf" &&
        mount -t proc proc "$root/proc" &&
        mount --rbind /sys "$root/sys" && mount --make-rslave "$root/sys" &&
        mount --rbind /dev "$root/dev" && mount --make-rslave "$root/dev"
}

# pinnit_rootfs_bind ROOT DIR [SOURCE]: SOURCE (DIR itself by default) seen at DIR inside ROOT.
pinnit_rootfs_bind() {
    mkdir -p "$1$2" && mount --bind "${3:-$2}" "$1$2" && mount --make-private "$1$2"
}

# pinnit_rootfs_enter ROOT [NAME=VALUE...] COMMAND...: runs COMMAND in ROOT in a
# clean environment that holds the given variables and pinnit's switches. The
# fallback is off inside, so that an install that fails there fails the command.
pinnit_rootfs_enter() {
    local root=$1
    shift
    chroot "$root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 \
        CI="${CI:-}" PINNIT_ROOTFS=0 "${PINNIT_ROOTFS_SWITCHES[@]}" "$@"
}

# pinnit_rootfs_cleanup ROOT: ends every process that runs in ROOT (they see it
# as /) and unmounts everything under it, the deepest first.
pinnit_rootfs_cleanup() {
    local root=$1 signal pid found mnt
    for signal in TERM KILL; do
        found=""
        for pid in /proc/[0-9]*; do
            if [ "$(readlink "$pid/root" 2>/dev/null)" = "$root" ]; then
                kill -s "$signal" "${pid#/proc/}" 2>/dev/null && found=1
            fi
        done
        [ -z "$found" ] || sleep 1
    done
    for mnt in $(awk -v under="$root/" 'index($2, under) == 1 { print $2 }' /proc/mounts | sort -r); do
        umount "$mnt" 2>/dev/null || umount -l "$mnt"
    done
    if grep -q " $root/" /proc/mounts; then
        pinnit_log "something is still mounted under $root"
        return 1
    fi
}

# Whether pinnit's own root filesystem is there, finished and of this machine's release.
pinnit_rootfs_made() {
    [ "$(cat "$PINNIT_ROOTFS_DIR/$PINNIT_ROOTFS_MARK" 2>/dev/null)" = "$(pinnit_release)" ]
}

# pinnit_rootfs_run ARGS...: runs this command with ARGS in pinnit's own root
# filesystem, as root, and exits with its status. It says first where that is,
# what it costs and how to remove it.
pinnit_rootfs_run() {
    local script=$PINNIT_ROOT/scripts/${0##*/}
    # Made by its owner: the machine's own builds go on using it.
    mkdir -p "$PINNIT_ROOT/build" || pinnit_fail "creating $PINNIT_ROOT/build"
    if [ -n "$PINNIT_SUDO" ]; then
        exec sudo env PINNIT_ROOTFS_DIR="$PINNIT_ROOTFS_DIR" DISPLAY="${DISPLAY:-}" \
            XAUTHORITY="${XAUTHORITY:-$HOME/.Xauthority}" "${PINNIT_ROOTFS_SWITCHES[@]}" bash -c 'source "$1/scripts/lib.sh" && shift && pinnit_rootfs_run "$@"' "$script" "$PINNIT_ROOT" "$@"
    fi
    local root=$PINNIT_ROOTFS_DIR release
    release=$(pinnit_release)
    if pinnit_rootfs_made; then
        pinnit_log "it goes on in the Debian $release root filesystem $root, kept from an earlier run"
    else
        pinnit_log "it goes on in a minimal Debian $release root filesystem, made now with debootstrap in $root"
        pinnit_log "  (about a minute, then the command's installs; it is kept and reused by later runs)"
    fi
    pinnit_log "  it takes some 4 GB with the tools, and 2 GB more for each checkout's builds and Wine prefixes, kept in it under $root/root"
    pinnit_log "  remove it, when no pinnit command runs, with: sudo rm -rf --one-file-system $root"
    pinnit_log "  PINNIT_ROOTFS=0 never uses it, PINNIT_ROOTFS=1 always does"
    pinnit_rootfs_session "$script" "$@"
}

# pinnit_rootfs_session SCRIPT ARGS...: makes or reuses the root filesystem, runs
# SCRIPT there on this very checkout, and exits with its status; nothing of it
# runs or is mounted afterwards.
pinnit_rootfs_session() {
    local root=$PINNIT_ROOTFS_DIR release status=0
    release=$(pinnit_release)
    mkdir -p "$(dirname "$root")" && exec 9>"$root.lock" || pinnit_fail "creating $root.lock"
    flock -n 9 || pinnit_fail "another pinnit command runs in $root; wait for it to end"
    # A run that was killed may have left mounts behind; a make or an install
    # that was cut short is finished or made anew.
    pinnit_rootfs_cleanup "$root" || pinnit_fail "unmounting what an earlier run left under $root"
    if ! pinnit_rootfs_made || ! chroot "$root" dpkg --configure -a >/dev/null 2>&1; then
        rm -rf --one-file-system "$root"
        pinnit_rootfs_make "$root" "$release" || pinnit_fail "making a Debian $release root filesystem with debootstrap"
    fi
    trap 'pinnit_rootfs_cleanup "$root"' EXIT
    trap 'exit 130' INT
    trap 'exit 143' TERM
    # The checkout as it is, uncommitted changes included; its build/ inside is
    # one of the root filesystem's own, one for each checkout, so that no build
    # is shared with the machine or with another checkout.
    local build=$root/root/build$PINNIT_ROOT
    mkdir -p "$build" || pinnit_fail "creating $build"
    { pinnit_rootfs_mount "$root" && pinnit_rootfs_bind "$root" "$PINNIT_ROOT" &&
        pinnit_rootfs_bind "$root" "$PINNIT_ROOT/build" "$build"; } ||
        pinnit_fail "mounting the kernel's file systems and $PINNIT_ROOT in $root"
    # The X display's sockets and cookie, for a display of this machine.
    if [ -d /tmp/.X11-unix ]; then pinnit_rootfs_bind "$root" /tmp/.X11-unix || pinnit_fail "mounting /tmp/.X11-unix in $root"; fi
    rm -f "$root/root/.Xauthority"
    if [ -f "${XAUTHORITY:-$HOME/.Xauthority}" ]; then cp "${XAUTHORITY:-$HOME/.Xauthority}" "$root/root/.Xauthority"; fi
    pinnit_rootfs_enter "$root" DISPLAY="${DISPLAY:-}" \
        GIT_CONFIG_COUNT=1 GIT_CONFIG_KEY_0=safe.directory GIT_CONFIG_VALUE_0="$PINNIT_ROOT" \
        bash -c 'cd "$1" && shift && exec "$@"' - "$PINNIT_ROOT" "$@" || status=$?
    # The packages it downloaded are installed: their files would only take room.
    chroot "$root" apt-get clean
    exit "$status"
}
