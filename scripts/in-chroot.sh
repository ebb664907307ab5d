#!/usr/bin/env bash
# Runs a command in a fresh Debian chroot of the named release: a minimal Debian (debootstrap's
# minbase) from the mirror this machine's apt uses, with a copy of this clone's files (committed
# or not, build folders left out) in /src/horchpult, where the command starts as root.
# The chroot is made anew on every run, so nothing the command needs can come from an earlier
# one; it stays in CHROOT_DIR (default /var/tmp/horchpult-chroot/RELEASE) until the next run.
# With --again the command runs in the chroot the last run left, with the clone copied anew:
# CI installs the packages in a fresh chroot while other work runs, then tests there.
# Each stage's time is printed. Needs root and debootstrap (installed when missing).
# Usage: scripts/in-chroot.sh [--again] RELEASE COMMAND...   e.g. scripts/in-chroot.sh trixie scripts/test.sh
set -euo pipefail
again=""
if [ "${1:-}" = --again ]; then
    again=yes
    shift
fi
if [ $# -lt 2 ]; then
    echo "usage: scripts/in-chroot.sh [--again] RELEASE COMMAND..." >&2
    exit 2
fi
release=$1
shift
[ "$(id -u)" -eq 0 ] || { echo "in-chroot: needs root" >&2; exit 1; }
clone=$(cd "$(dirname "$0")/.." && pwd)
root=${CHROOT_DIR:-/var/tmp/horchpult-chroot/$release}
root=${root%/}
# The folder is removed and made anew: never the root or a top-level folder.
case "$root" in
    /?*/?*) ;;
    *) echo "in-chroot: $root is no folder to make a chroot in" >&2; exit 1 ;;
esac

stage_start=$SECONDS
stage() {
    echo "in-chroot: $1 took $((SECONDS - stage_start)) s"
    stage_start=$SECONDS
}

# Everything mounted below the chroot, deepest first, so that removing it never reaches the host.
mounts_below() { findmnt -rn -o TARGET | awk -v root="$root" 'index($0 "/", root "/") == 1' | sort -r; }
unmount_all() {
    mounts_below | while read -r target; do umount -l "$target"; done
}
trap unmount_all EXIT

unmount_all
if [ -n "$(mounts_below)" ]; then
    echo "in-chroot: $root still has mounts; not removing it" >&2
    exit 1
fi
if [ -n "$again" ]; then
    [ -x "$root/usr/sbin/policy-rc.d" ] || { echo "in-chroot: no chroot of $release in $root to run in again" >&2; exit 1; }
    rm -rf "$root/src/horchpult"
else
    rm -rf "$root"
    mkdir -p "$root"
    command -v debootstrap >/dev/null || DEBIAN_FRONTEND=noninteractive apt-get install -y -qq debootstrap
    mirror=$(apt-get indextargets --format '$(REPO_URI)' 'Identifier: Packages' 'Label: Debian' | head -n 1)
    [ -n "$mirror" ] || { echo "in-chroot: apt on this machine knows no Debian mirror" >&2; exit 1; }
    debootstrap --variant=minbase "$release" "$root" "$mirror" >"$root.debootstrap.log" 2>&1 || {
        tail -20 "$root.debootstrap.log" >&2
        echo "in-chroot: debootstrap of $release failed" >&2
        exit 1
    }
    # Services that packages would start belong to the host, not to the chroot.
    printf '#!/bin/sh\nexit 101\n' >"$root/usr/sbin/policy-rc.d"
    chmod 755 "$root/usr/sbin/policy-rc.d"
    stage "debootstrap of $release"
fi

cp /etc/resolv.conf "$root/etc/resolv.conf"
mount -t proc proc "$root/proc"
mount -t sysfs sysfs "$root/sys"
# debootstrap made the device nodes; terminals and shared memory get instances of their own.
mount -t devpts -o newinstance,ptmxmode=0666 devpts "$root/dev/pts"
ln -sf pts/ptmx "$root/dev/ptmx"
mount -t tmpfs tmpfs "$root/dev/shm"

mkdir -p "$root/src/horchpult"
git -C "$clone" ls-files -z --cached --others --exclude-standard \
    | (cd "$clone" && tar --null -T - -cf -) | tar -xf - -C "$root/src/horchpult"
stage "copy of the clone"

status=0
chroot "$root" /usr/bin/env -i HOME=/root LANG=C.UTF-8 TERM="${TERM:-dumb}" CI="${CI:-}" \
    PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
    /bin/bash -c 'cd /src/horchpult && exec "$@"' in-chroot "$@" || status=$?
stage "command '$*' in $release (exit status $status)"
exit "$status"
