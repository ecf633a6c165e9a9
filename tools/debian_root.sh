#!/usr/bin/env bash
# Makes a fresh root of a Debian release with debootstrap (minbase, plus the packages named),
# with the package sources an installed system has (the release, its updates and its security
# fixes) and the host's resolver, so that apt works in it at once. Downloaded packages are kept
# in CACHE for the next root; debootstrap's log goes to CACHE/debootstrap.log.
#
# Usage: tools/debian_root.sh RELEASE ROOT CACHE [PACKAGE,PACKAGE...]
set -euo pipefail
[ $# -ge 3 ] && [ $# -le 4 ] || {
    echo "usage: $0 RELEASE ROOT CACHE [PACKAGE,PACKAGE...]" >&2
    exit 2
}
release=$1
root=$2
cache=$(realpath -m "$3")
include=()
[ -z "${4:-}" ] || include=(--include="$4")

mkdir -p "$cache"
debootstrap --variant=minbase "${include[@]}" --cache-dir="$cache" "$release" "$root" \
    http://deb.debian.org/debian > "$cache/debootstrap.log" 2>&1 || {
    tail -n 20 "$cache/debootstrap.log" >&2
    exit 1
}
cat > "$root/etc/apt/sources.list" << SOURCES
deb http://deb.debian.org/debian $release main
deb http://deb.debian.org/debian $release-updates main
deb http://security.debian.org/debian-security $release-security main
SOURCES
cp /etc/resolv.conf "$root/etc/resolv.conf"
