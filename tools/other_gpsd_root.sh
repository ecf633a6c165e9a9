#!/usr/bin/env bash
# Makes (once) a small root of the other Debian release with its gpsd, so that the GPS service
# tests run against both gpsd versions whichever release the host runs: Debian 12 has gpsd 3.22,
# which answers its control socket in plain text, Debian 13 gpsd 3.25, which answers in JSON.
# The tests start that gpsd with chroot; it shares the host's loopback and takes its sockets
# already listening, as from systemd.
#
# Usage: tools/other_gpsd_root.sh DIRECTORY   -> DIRECTORY/<release> with usr/sbin/gpsd;
#        prints that root's path. Needs root (debootstrap) and, the first time, the network.
set -euo pipefail
parent=$1

# shellcheck disable=SC1091
. /etc/os-release
case ${VERSION_CODENAME:-} in
    trixie) release=bookworm ;;
    *) release=trixie ;;
esac
root=$parent/$release

if [ ! -x "$root/usr/sbin/gpsd" ]; then
    mkdir -p "$parent"
    rm -rf "$root.partial"
    echo "making a $release root with gpsd in $root (once)" >&2
    debootstrap --variant=minbase --include=gpsd "$release" "$root.partial" \
        http://deb.debian.org/debian > "$parent/$release-debootstrap.log" 2>&1 ||
        { tail -20 "$parent/$release-debootstrap.log" >&2; exit 1; }
    mv "$root.partial" "$root"
fi
# gpsd drops to its account, and on a machine of that release the account would be the
# machine's own: the root's gets the host's uid, which the channel's trust in gpsd's sockets
# compares with.
if host_uid=$(id -u gpsd 2> /dev/null); then
    sed -i "s/^gpsd:x:[0-9]*:/gpsd:x:$host_uid:/" "$root/etc/passwd"
fi
echo "$root"
