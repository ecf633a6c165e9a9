#!/usr/bin/env bash
# Runs one of the README's commands as a new user's fresh Debian machine meets it: makes a new
# root of the release with debootstrap (minbase plus git, ca-certificates and sudo), clones this
# repository's committed HEAD into it and runs the command there as root, in a chroot with its
# own mounts, processes and IPC (tools/chroot_run.sh), which all end with the command, also on
# Ctrl-C. The root is made anew every time; only downloaded packages are kept, under
# build/test-on/RELEASE/. The command is ended after QUARNEX_TEST_ON_MINUTES (default 90 for
# the test command, 30 for the others), so that a hang fails instead of waiting forever.
#
# Usage: tools/test_on.sh bookworm|trixie [test|run|package]    (default: test)
set -euo pipefail

usage() {
    echo "usage: $0 bookworm|trixie [test|run|package]" >&2
    exit 2
}

[ $# -ge 1 ] && [ $# -le 2 ] || usage
release=$1
command=${2:-test}
case $release in bookworm | trixie) ;; *) usage ;; esac
case $command in test | run | package) ;; *) usage ;; esac
minutes=${QUARNEX_TEST_ON_MINUTES:-30}
[ "$command" != test ] || minutes=${QUARNEX_TEST_ON_MINUTES:-90}
[ "$(id -u)" -eq 0 ] || exec sudo "$0" "$@"

cd "$(dirname "$0")/.."
repository=$PWD
head=$(git rev-parse HEAD)
tools/install_dependencies.sh fresh

work=$repository/build/test-on/$release
root=$work/root
mkdir -p "$work/archives"

# Deletes the root, but never through a mount: a root still mounted somewhere (it should not be,
# the mounts live in the ended namespace) is left alone with an error.
remove_root() {
    [ -e "$root" ] || return 0
    if awk -v root="$root" '$5 == root || index($5, root "/") == 1 { found = 1 }
            END { exit !found }' /proc/self/mountinfo; then
        echo "$root is still mounted; not removing it" >&2
        return 1
    fi
    rm -rf --one-file-system "$root"
}

command_pid=
stop() {
    if [ -n "$command_pid" ]; then
        kill "$command_pid" 2> /dev/null || true
        wait "$command_pid" 2> /dev/null || true
    fi
    remove_root
}
trap stop EXIT
trap 'exit 130' INT TERM

remove_root
started=$SECONDS
echo "== making a fresh $release root in $root"
tools/debian_root.sh "$release" "$root" "$work/debootstrap" git,ca-certificates,sudo
git clone -q --no-hardlinks "$repository" "$root/root/quarnex"
git -C "$root/root/quarnex" checkout -q --detach "$head"
made=$SECONDS
echo "== root made in $((made - started)) s; tools/$command.sh at ${head:0:7} in the chroot"

# In the background, so that Ctrl-C reaches this script's trap while the command runs.
timeout --kill-after=30 $((minutes * 60)) tools/chroot_run.sh "$root" --archives "$work/archives" \
    -- /bin/bash -c "cd /root/quarnex && exec tools/$command.sh" &
command_pid=$!
status=0
wait "$command_pid" || status=$?
command_pid=
[ "$status" -ne 124 ] || echo "== tools/$command.sh did not end within $minutes minutes"
echo "== tools/$command.sh on a fresh $release root: exit code $status" \
    "after $((SECONDS - made)) s (root made in $((made - started)) s)"
exit "$status"
