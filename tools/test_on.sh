#!/usr/bin/env bash
# Runs one of the README's commands as a new user's fresh Debian machine meets it: makes a new
# root of the release with debootstrap (minbase plus git, ca-certificates and sudo), clones this
# repository's committed HEAD into it and runs the command there as root, in a chroot with its
# own mounts, processes and IPC (tools/chroot_run.sh), which all end with the command, also on
# Ctrl-C. The root is made anew every time; only downloaded packages are kept, under
# build/test-on/RELEASE/. The command is ended after QUARNEX_TEST_ON_MINUTES (default 90 for
# the test command, 60 for the package command with --arch, 30 for the others), so that a hang
# fails instead of waiting forever.
#
# With --arch ARCH (arm64 or armhf; the package command only), the package for that Debian
# architecture as its user meets it (tools/test_on_arch/): cross-built in the fresh root by
# tools/package.sh --arch and checked there with lintian, beside the relay's test programs for
# ARCH; installed with apt, its dependencies from Debian, in a fresh root of the release for
# ARCH under Debian's user-mode emulation, and started there offscreen; and the relay's test
# run in a system guest of ARCH (QEMU) with Debian's kernel for it, as Debian 12's user-mode
# emulation (QEMU 7.2) lacks the calls that set a serial line's rate: TCGETS2 and TCSETS2 fail
# with ENOSYS. The root for ARCH and its downloads are under build/test-on/RELEASE-ARCH/.
#
# Usage: tools/test_on.sh bookworm|trixie [--arch ARCH] [test|run|package]    (default: test)
set -euo pipefail

usage() {
    echo "usage: $0 bookworm|trixie [--arch ARCH] [test|run|package]" >&2
    exit 2
}

arguments=("$@")
[ $# -ge 1 ] || usage
release=$1
shift
arch=
if [ "${1:-}" = --arch ] && [ $# -ge 2 ]; then
    arch=$2
    shift 2
fi
[ $# -le 1 ] || usage
command=${1:-test}
case $release in bookworm | trixie) ;; *) usage ;; esac
case $command in test | run | package) ;; *) usage ;; esac
[ -z "$arch" ] || [ "$command" = package ] || usage
minutes=${QUARNEX_TEST_ON_MINUTES:-30}
[ "$command" != test ] || minutes=${QUARNEX_TEST_ON_MINUTES:-90}
[ -z "$arch" ] || minutes=${QUARNEX_TEST_ON_MINUTES:-60}
[ "$(id -u)" -eq 0 ] || exec sudo "$0" "${arguments[@]}"

cd "$(dirname "$0")/.."
repository=$PWD
head=$(git rev-parse HEAD)
tools/install_dependencies.sh --arch "${arch:-$(dpkg --print-architecture)}" fresh

work=$repository/build/test-on/$release
root=$work/root
target_work=$work-$arch
target=$target_work/root
mkdir -p "$work/archives"

# Deletes a root, but never through a mount: a root still mounted somewhere (it should not be,
# the mounts live in the ended namespace) is left alone with an error.
remove_root() {
    [ -e "$1" ] || return 0
    if awk -v root="$1" '$5 == root || index($5, root "/") == 1 { found = 1 }
            END { exit !found }' /proc/self/mountinfo; then
        echo "$1 is still mounted; not removing it" >&2
        return 1
    fi
    rm -rf --one-file-system "$1"
}

step_pid=
# shellcheck disable=SC2317  # run by the trap
stop() {
    if [ -n "$step_pid" ]; then
        kill "$step_pid" 2> /dev/null || true
        wait "$step_pid" 2> /dev/null || true
    fi
    remove_root "$root"
    [ -z "$arch" ] || remove_root "$target"
}
trap stop EXIT
trap 'exit 130' INT TERM

# Runs a step in the background, so that Ctrl-C reaches this script's trap while it runs, and
# ends it when the command's time is up.
run_step() {
    local status=0 left=$((deadline - SECONDS))
    timeout --kill-after=30 $((left > 0 ? left : 1)) "$@" &
    step_pid=$!
    wait "$step_pid" || status=$?
    step_pid=
    [ "$status" -ne 124 ] || echo "== not done within $minutes minutes: $*" >&2
    return "$status"
}

remove_root "$root"
[ -z "$arch" ] || remove_root "$target"
started=$SECONDS
echo "== making a fresh $release root in $root"
tools/debian_root.sh "$release" "$root" "$work/debootstrap" git,ca-certificates,sudo
git clone -q --no-hardlinks "$repository" "$root/root/quarnex"
git -C "$root/root/quarnex" checkout -q --detach "$head"
made=$SECONDS
deadline=$((made + minutes * 60))
step="tools/$command.sh"
[ -z "$arch" ] || step="tools/test_on_arch/build.sh $arch"
echo "== root made in $((made - started)) s; $step at ${head:0:7} in the chroot"
status=0
run_step tools/chroot_run.sh "$root" --archives "$work/archives" \
    -- /bin/bash -c "cd /root/quarnex && exec $step" || status=$?
if [ "$status" -eq 0 ] && [ -n "$arch" ]; then
    echo "== built in $((SECONDS - made)) s; making a fresh $release root for $arch in $target"
    mkdir -p "$target_work/archives"
    run_step tools/debian_root.sh --arch "$arch" "$release" "$target" "$target_work/debootstrap" &&
        cp -a "$root/root/quarnex" "$target/root/quarnex" &&
        echo "== $arch root made at $((SECONDS - made)) s; installing the package there" &&
        run_step tools/chroot_run.sh "$target" --archives "$target_work/archives" --arch "$arch" \
            -- /bin/bash -c "cd /root/quarnex && exec tools/test_on_arch/target.sh $arch" &&
        echo "== installed at $((SECONDS - made)) s; the relay's test in $arch's system guest" &&
        run_step tools/test_on_arch/guest.sh "$target/root/quarnex/build/guest-$arch" "$arch" ||
        status=$?
fi
echo "== tools/test_on.sh $release${arch:+ --arch $arch} $command on fresh roots:" \
    "exit code $status after $((SECONDS - made)) s (root made in $((made - started)) s)"
exit "$status"
