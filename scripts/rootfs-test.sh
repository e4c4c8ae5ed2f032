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

root=$(mktemp -d /var/tmp/pinnit-$release.XXXXXX)
trap 'pinnit_rootfs_cleanup "$root" && rm -rf --one-file-system "$root"' EXIT
pinnit_rootfs_make "$root" "$release" || cannot "debootstrap of Debian $release failed"
pinnit_rootfs_mount "$root" || cannot "mounting the kernel's file systems in it failed"
git clone -q "$PINNIT_ROOT" "$root/root/pinnit"

pinnit_log "running the test command inside Debian $release ($(. "$root/etc/os-release" && echo "$PRETTY_NAME"))"
pinnit_rootfs_enter "$root" bash -c 'cd /root/pinnit && scripts/test.sh'
