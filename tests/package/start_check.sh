#!/usr/bin/env bash
# Starts the program offscreen and ends it with SIGTERM; fails unless it exits with code 1.
# A parent that blocks SIGTERM and sends it at once: the signal waits until the program is
# ready for it (its dialog shown, its event loop about to run), so it proves the start and the
# clean end without waiting on a clock. perl is part of every Debian system.
# Usage: start_check.sh PROGRAM [DIR]   (the program's runtime directory is made in DIR, or /tmp)
set -uo pipefail
runtime=$(mktemp -d "${2:-/tmp}/runtime-XXXXXX")
status=0
# Nothing of a desktop session the test command was started from: no display, compositor or bus.
env -u DISPLAY -u WAYLAND_DISPLAY -u DBUS_SESSION_BUS_ADDRESS \
    QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=$runtime \
    perl -MPOSIX -e 'sigprocmask(SIG_BLOCK, POSIX::SigSet->new(SIGTERM)) or die;
                     kill "TERM", $$; exec @ARGV or die "exec: $!"' "$1" || status=$?
rm -rf "$runtime"
[ "$status" -eq 1 ] || { echo "FAILED: exit code after SIGTERM: got $status, expected 1"; exit 1; }
