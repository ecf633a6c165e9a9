#!/usr/bin/env bash
# Makes a fresh root of a Debian release with debootstrap (minbase, plus the packages named),
# with the package sources an installed system has (the release, its updates and its security
# fixes) and the host's resolver, so that apt works in it at once. Downloaded packages are kept
# in CACHE for the next root; debootstrap's log goes to CACHE/debootstrap.log. With --arch, a
# root of another Debian architecture (arm64, armhf): debootstrap unpacks it here, and its
# second stage runs in it under user-mode emulation (tools/chroot_run.sh --arch).
#
# Usage: tools/debian_root.sh [--arch ARCH] RELEASE ROOT CACHE [PACKAGE,PACKAGE...]
set -euo pipefail
arch=
if [ "${1:-}" = --arch ]; then
    arch=${2:-}
    shift 2
fi
if [ $# -lt 3 ] || [ $# -gt 4 ]; then
    echo "usage: $0 [--arch ARCH] RELEASE ROOT CACHE [PACKAGE,PACKAGE...]" >&2
    exit 2
fi
release=$1
root=$2
cache=$(realpath -m "$3")
options=(--variant=minbase --cache-dir="$cache")
[ -z "${4:-}" ] || options+=(--include="$4")
[ -z "$arch" ] || options+=(--arch="$arch" --foreign)

mkdir -p "$cache"
log=$cache/debootstrap.log
failed() {
    tail -n 20 "$log" >&2
    exit 1
}
debootstrap "${options[@]}" "$release" "$root" http://deb.debian.org/debian > "$log" 2>&1 ||
    failed
# A user namespace may not make device nodes, so debootstrap's check that it can is skipped as
# in a container (the first stage, here, made them).
if [ -n "$arch" ]; then
    "$(dirname "$0")/chroot_run.sh" "$root" --arch "$arch" -- \
        /usr/bin/env container=lxc /debootstrap/debootstrap --second-stage >> "$log" 2>&1 || failed
fi
cat > "$root/etc/apt/sources.list" << SOURCES
deb http://deb.debian.org/debian $release main
deb http://deb.debian.org/debian $release-updates main
deb http://security.debian.org/debian-security $release-security main
SOURCES
cp /etc/resolv.conf "$root/etc/resolv.conf"
