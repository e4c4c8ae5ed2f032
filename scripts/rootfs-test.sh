#!/usr/bin/env bash
# rootfs-test.sh RELEASE: runs the test command on a fresh minimal Debian RELEASE
# (a root filesystem made here with debootstrap, holding a clone of this commit),
# to show that it installs everything it uses. Needs root. The root filesystem,
# its mounts and every process left running in it are gone afterwards. Exits
# with 3 when no root filesystem can be made here, with the test command's
# status otherwise.
set -euo pipefail
source "$(dirname "$0")/lib.sh"

release=${1:?usage: rootfs-test.sh RELEASE}
# cannot WHY: says why no root filesystem can be made here, and exits with 3.
cannot() {
    pinnit_log "no root filesystem can be made here: $*"
    exit 3
}
[ "$(id -u)" -eq 0 ] || cannot "rootfs-test.sh must run as root"
command -v debootstrap >/dev/null || pinnit_apt_install debootstrap || cannot "debootstrap could not be installed"

root=$(mktemp -d /var/tmp/pinnit-$release.XXXXXX)

# Only what runs inside this root filesystem is ended: its processes see it as /.
pinnit_rootfs_cleanup() {
    set +e
    local signal pid mnt
    for signal in TERM KILL; do
        for pid in /proc/[0-9]*; do
            if [ "$(readlink "$pid/root" 2>/dev/null)" = "$root" ]; then
                kill -s "$signal" "${pid#/proc/}" 2>/dev/null
            fi
        done
        sleep 1
    done
    for mnt in proc sys dev; do
        if mountpoint -q "$root/$mnt"; then
            umount -R "$root/$mnt" || umount -R -l "$root/$mnt"
        fi
    done
    if grep -q " $root/" /proc/mounts; then
        pinnit_log "left $root in place: something is still mounted under it"
        return 1
    fi
    rm -rf --one-file-system "$root"
}
trap pinnit_rootfs_cleanup EXIT

pinnit_log "making a minimal Debian $release in $root"
# debootstrap takes its own default archive unless PINNIT_DEBIAN_MIRROR names one.
debootstrap --variant=minbase --include=ca-certificates,git "$release" "$root" ${PINNIT_DEBIAN_MIRROR:+"$PINNIT_DEBIAN_MIRROR"} \
    >"$root.log" 2>&1 || { tail -20 "$root.log" >&2; rm -f "$root.log"; cannot "debootstrap of Debian $release failed"; }
rm -f "$root.log"
cp /etc/resolv.conf "$root/etc/resolv.conf"
mount -t proc proc "$root/proc" || cannot "mounting /proc in it failed"
# The kernel's table of interpreters, so that the test command sees and sets it as outside.
if mountpoint -q /proc/sys/fs/binfmt_misc; then
    mount -t binfmt_misc binfmt_misc "$root/proc/sys/fs/binfmt_misc" || cannot "mounting binfmt_misc in it failed"
fi
{ mount --rbind /sys "$root/sys" && mount --make-rslave "$root/sys"; } || cannot "mounting /sys in it failed"
{ mount --rbind /dev "$root/dev" && mount --make-rslave "$root/dev"; } || cannot "mounting /dev in it failed"
git clone -q "$PINNIT_ROOT" "$root/root/pinnit"

pinnit_log "running the test command inside Debian $release ($(. "$root/etc/os-release" && echo "$PRETTY_NAME"))"
chroot "$root" /usr/bin/env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 CI="${CI:-}" \
    PINNIT_I386="${PINNIT_I386:-auto}" PINNIT_TEST_SCOPE="${PINNIT_TEST_SCOPE:-all}" \
    PINNIT_DEBIAN_MIRROR="${PINNIT_DEBIAN_MIRROR:-}" bash -c 'cd /root/pinnit && scripts/test.sh'
