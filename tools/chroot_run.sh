#!/usr/bin/env bash
# Runs a command as root in a chroot of a Debian root, with what programs there expect mounted:
# its own /proc, /sys, /dev with pseudo-terminals of its own, and fresh tmpfs /run, /tmp and
# /dev/shm. The mounts, the processes and System V IPC (gpsd's shared memory) live in
# namespaces of their own: whatever the command leaves running, and every mount, ends with it,
# also on Ctrl-C or when this script is killed. The host's network is shared (apt, debootstrap).
#
# Usage: tools/chroot_run.sh ROOT [--archives DIR] [--arch ARCH] -- COMMAND [ARGUMENT...]
#   --archives DIR  bind DIR as the root's apt package cache, so downloads outlive the root
#   --arch ARCH     the root is of another Debian architecture (arm64, armhf): its
#                   programs run under Debian's user-mode emulation (qemu-user-static), as the
#                   host has it registered (systemd-binfmt, binfmt-support), or else registered
#                   in a binfmt_misc of the command's own (Linux 6.7 and later), leaving the
#                   host's as it is
set -euo pipefail

usage() {
    echo "usage: $0 ROOT [--archives DIR] [--arch ARCH] -- COMMAND [ARGUMENT...]" >&2
    exit 2
}

# Registers Debian's emulator EMULATOR (qemu-aarch64, qemu-arm) in a binfmt_misc mounted at DIR.
# The F flag opens the emulator now, so that it also runs inside the chroot.
register_emulator() {
    local dir=$1 emulator=$2
    mount -t binfmt_misc binfmt_misc "$dir"
    cat "/usr/lib/binfmt.d/$emulator.conf" > "$dir/register"
}

# Process 1 of the new PID namespace: when it ends, the kernel ends every process left there
# and the mount namespace goes with the last of them.
run_inside() {
    local root=$1 archives=$2 emulator=$3
    shift 3
    # The root a mount of its own, so that "/" in the chroot is a mount point: tools there that
    # make their own private mount namespace (unshare --propagation private) need that.
    mount --bind "$root" "$root"
    mount -t proc proc "$root/proc"
    [ -z "$emulator" ] || register_emulator "$root/proc/sys/fs/binfmt_misc" "$emulator"
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

# Starts COMMAND in the background (its process id in inside_pid) in a new user namespace in
# which every user and group id is itself, so that the root's files keep their owners: a
# binfmt_misc of one's own needs a user namespace of one's own (Linux 6.7 and later). The ids
# are mapped from here once the namespace exists; COMMAND waits for that.
start_in_own_user_namespace() {
    local fifos
    fifos=$(mktemp -d)
    mkfifo "$fifos/entered" "$fifos/mapped"
    # shellcheck disable=SC2016  # expanded by that shell
    unshare --user -- /bin/sh -c 'echo > "$1/entered" && read -r _ < "$1/mapped" &&
        shift && exec "$@"' sh "$fifos" "$@" &
    inside_pid=$!
    read -r _ < "$fifos/entered"
    echo '0 0 4294967295' > "/proc/$inside_pid/uid_map"
    echo '0 0 4294967295' > "/proc/$inside_pid/gid_map"
    echo > "$fifos/mapped"
    rm -rf "$fifos"
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
emulator=
if [ "$1" = --arch ]; then
    case $2 in
        arm64) emulator=qemu-aarch64 ;;
        armhf) emulator=qemu-arm ;;
        *) echo "no emulator known for $2" >&2 && exit 2 ;;
    esac
    shift 2
    [ ! -e "/proc/sys/fs/binfmt_misc/$emulator" ] || emulator=
fi
[ "${1:-}" = -- ] || usage
shift
[ -x "$root/bin/sh" ] || { echo "$root is not a root file system" >&2; exit 2; }

# --kill-child: should this script be killed, the namespace's first process is killed with it.
inside_pid=
trap '[ -z "$inside_pid" ] || kill -KILL "$inside_pid" 2> /dev/null || true' EXIT
trap 'exit 130' INT TERM
namespaces=(unshare --mount --propagation private --pid --ipc --fork --kill-child --
    "$(realpath "$0")" --inside "$root" "$archives" "$emulator" "$@")
if [ -z "$emulator" ]; then
    "${namespaces[@]}" &
    inside_pid=$!
else
    start_in_own_user_namespace "${namespaces[@]}"
fi
status=0
wait "$inside_pid" || status=$?
inside_pid=
exit "$status"
