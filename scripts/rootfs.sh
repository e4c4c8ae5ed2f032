#!/usr/bin/env bash
# rootfs.sh ROOT RELEASE CHECKOUT COMMAND...: runs COMMAND as root in ROOT, a
# minimal Debian RELEASE made with debootstrap (amd64 and i386 from one suite)
# unless it is there, with CHECKOUT at its own path and ROOT's own build/ in it.
# A PID and a mount namespace of their own end every process and mount with
# COMMAND, or with this script, which unshare dies with (even by SIGKILL) and
# passes INT and TERM no further. Exits with 3 when ROOT cannot be made.
# lib.sh runs it when this machine's apt cannot install what a command needs (an
# index the archive serves wrong, i386 security builds behind the amd64 ones):
# debootstrap takes amd64 and i386 from one suite. ROOT is kept (by default
# /var/cache/pinnit/rootfs, about 4 GB, and 2 GB a checkout for its builds and
# Wine prefixes); remove it, while no pinnit command runs, with
# rm -rf --one-file-system ROOT. A killed Xvfb leaves its lock in ROOT's /tmp:
# the next run takes the next display.
set -uo pipefail
root=$1 release=$2 checkout=$3
shift 3
cannot() { echo "pinnit: no root filesystem can be made here: $*" >&2 && exit 3; }
[ "$(id -u)" -eq 0 ] && mkdir -p "${root%/*}" || cannot "not root, or no folder ${root%/*}"
# One command at a time: the lock is held until the last process of the command has ended.
exec 9>"$root.lock" && flock -n 9 || { echo "pinnit: another pinnit command runs in $root; wait for it to end" >&2 && exit 1; }
# An unfinished one, one of another release, or one whose installs were cut short is made anew.
if [ "$(cat "$root/.pinnit-release" 2>/dev/null)" != "$release" ] ||
    ! chroot "$root" dpkg --configure -a >/dev/null 2>&1; then
    rm -rf --one-file-system "$root"
    mkdir -p "$root" || cannot "creating $root"
    printf 'pinnit: making a minimal Debian %s in %s\n' "$release" "$root" >&2
    debootstrap --variant=minbase --include=ca-certificates "$release" "$root" \
        ${PINNIT_DEBIAN_MIRROR:+"$PINNIT_DEBIAN_MIRROR"} >"$root.log" 2>&1 ||
        { tail -20 "$root.log" >&2; cannot "debootstrap of Debian $release failed"; }
    rm -f "$root.log" && echo "$release" >"$root/.pinnit-release"
fi
mkdir -p "$root/root/build$checkout" "$root$checkout" "$root/tmp/.X11-unix" || cannot "creating folders in $root"
cp /etc/resolv.conf "$root/etc/resolv.conf" && rm -f "$root/root/.Xauthority"
# The X display's sockets and cookie, for the run command on a display of this machine.
[ ! -f "${XAUTHORITY:-}" ] || cp "$XAUTHORITY" "$root/root/.Xauthority"
trap 'exit 130' INT && trap 'exit 143' TERM
setpriv --pdeathsig KILL unshare --mount --pid --fork --kill-child --mount-proc="$root/proc" sh -c '
    root=$1 checkout=$2 && shift 2
    mount --rbind /sys "$root/sys" && mount --rbind /dev "$root/dev" &&
        mount --bind "$checkout" "$root$checkout" && mount --bind "$root/root/build$checkout" "$root$checkout/build" &&
        { [ ! -d /tmp/.X11-unix ] || mount --bind /tmp/.X11-unix "$root/tmp/.X11-unix"; } ||
        { echo "pinnit: no root filesystem can be made here: mounting in $root failed" >&2; exit 3; }
    chroot "$root" sh -c "cd \"\$0\" && exec \"\$@\"" "$checkout" "$@"; status=$?
    # The packages it downloaded are installed: their files would only take room.
    chroot "$root" apt-get clean
    exit $status' - "$root" "$checkout" "$@" &
wait $!
