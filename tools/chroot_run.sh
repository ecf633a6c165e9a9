#!/usr/bin/env bash
# Runs a command as root in a chroot of a Debian root, with what programs there expect mounted:
# its own /proc, /sys, /dev with pseudo-terminals of its own, and fresh tmpfs /run, /tmp and
# /dev/shm. The mounts, the processes and System V IPC (gpsd's shared memory) live in
# namespaces of their own: whatever the command leaves running, and every mount, ends with it,
# also on Ctrl-C or when this script is killed. The host's network is shared (apt, debootstrap).
#
# Usage: tools/chroot_run.sh ROOT [--archives DIR] -- COMMAND [ARGUMENT...]
#   --archives DIR  bind DIR as the root's apt package cache, so downloads outlive the root
set -euo pipefail

usage() {
    echo "usage: $0 ROOT [--archives DIR] -- COMMAND [ARGUMENT...]" >&2
    exit 2
}

# Process 1 of the new PID namespace: when it ends, the kernel ends every process left there
# and the mount namespace goes with the last of them.
run_inside() {
    local root=$1 archives=$2
    shift 2
    # The root a mount of its own, so that "/" in the chroot is a mount point: tools there that
    # make their own private mount namespace (unshare --propagation private) need that.
    mount --bind "$root" "$root"
    mount -t proc proc "$root/proc"
    mount --rbind /sys "$root/sys"
    mount --rbind /dev "$root/dev"
    mount -t devpts -o newinstance,ptmxmode=0666,mode=0620,gid=5 devpts "$root/dev/pts"
    mount --bind "$root/dev/pts/ptmx" "$root/dev/ptmx"
    mount -t tmpfs -o mode=1777 tmpfs "$root/dev/shm"
    mount -t tmpfs -o mode=1777 tmpfs "$root/tmp"
    mount -t tmpfs -o mode=0755 tmpfs "$root/run"
    if [ -n "$archives" ]; then
        mount --bind "$archives" "$root/var/cache/apt/archives"
    fi
    trap 'exit 130' INT TERM
    chroot "$root" /usr/bin/env -i HOME=/root TERM="${TERM:-dumb}" LANG=C.UTF-8 \
        PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin "$@"
}

if [ "${1:-}" = --inside ]; then
    shift
    run_inside "$@"
    exit
fi

[ $# -ge 3 ] || usage
root=$(realpath "$1")
shift
archives=
if [ "$1" = --archives ]; then
    archives=$(realpath "$2")
    shift 2
fi
[ "${1:-}" = -- ] || usage
shift
[ -x "$root/bin/sh" ] || { echo "$root is not a root file system" >&2; exit 2; }

# --kill-child: should this script be killed, the namespace's first process is killed with it.
inside_pid=
trap '[ -z "$inside_pid" ] || kill -KILL "$inside_pid" 2> /dev/null || true' EXIT
trap 'exit 130' INT TERM
status=0
unshare --mount --propagation private --pid --ipc --fork --kill-child -- \
    "$(realpath "$0")" --inside "$root" "$archives" "$@" &
inside_pid=$!
wait "$inside_pid" || status=$?
inside_pid=
exit "$status"
