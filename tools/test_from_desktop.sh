#!/usr/bin/env bash
# Runs the test command as from a terminal of a desktop: a private Xvfb, session bus and headless
# weston stand in for the session, with DISPLAY, WAYLAND_DISPLAY, DBUS_SESSION_BUS_ADDRESS and
# XDG_RUNTIME_DIR set as a desktop sets them, and dbus-x11 installed (the test command installs
# it, as desktops do). Then it says what of the stand-in session was reached: nothing may be.
# Usage: tools/test_from_desktop.sh [ARGUMENTS FOR tools/test.sh]
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install_dependencies.sh test

work=$(mktemp -d /tmp/quarnex-desktop-XXXXXX)
runtime=$work/runtime  # the session's XDG_RUNTIME_DIR: its bus and compositor sockets only
mkdir -m 700 "$runtime"
cleanup() {
    kill $(jobs -p) 2> /dev/null || true
    wait || true
    rm -rf "$work"
}
trap cleanup EXIT

Xvfb -displayfd 5 -audit 2 -nolisten tcp 5> "$work/display" 2> "$work/x.log" &
dbus-daemon --session --nofork --address="unix:path=$runtime/bus" 2> "$work/bus.log" &
XDG_RUNTIME_DIR=$runtime weston --backend=headless-backend.so --shell=kiosk-shell.so --no-config \
    --socket=wayland-0 --idle-time=0 --logger-scopes=proto --log="$work/weston.log" &
session_up() { [ -s "$work/display" ] && [ -S "$runtime/bus" ] && [ -S "$runtime/wayland-0" ]; }
for _ in $(seq 100); do
    session_up && break
    sleep 0.1
done
session_up || { echo "the stand-in session did not start" >&2; exit 1; }

export DISPLAY=:$(cat "$work/display") WAYLAND_DISPLAY=wayland-0 XDG_RUNTIME_DIR=$runtime
export DBUS_SESSION_BUS_ADDRESS=unix:path=$runtime/bus
# Each connection to the bus gets the next unique name (":1.N"), also a short-lived one: the
# number of a client's own name tells how many came before it.
bus_client_number() {
    dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
        org.freedesktop.DBus.ListNames | grep -o '":1\.[0-9]*"' | tr -d '"' | cut -d. -f2 |
        sort -n | tail -1
}
first=$(bus_client_number)
echo "== the test command from a desktop session: DISPLAY=$DISPLAY WAYLAND_DISPLAY=$WAYLAND_DISPLAY"
status=0
tools/test.sh "$@" || status=$?

reached=()
x_clients=$(grep -c "connected from" "$work/x.log" || true)
[ "$x_clients" -eq 0 ] || reached+=("the X display: $x_clients clients")
grep -q "client" "$work/weston.log" && reached+=("the Wayland compositor")
last=$(bus_client_number)
[ "$last" -eq $((first + 1)) ] || reached+=("the session bus: $((last - first - 1)) clients")
strays=$(find "$runtime" -mindepth 1 ! -name bus ! -name 'wayland-0*')
[ -z "$strays" ] || reached+=("the runtime directory: $strays")
if [ ${#reached[@]} -gt 0 ]; then
    printf 'reached the desktop session: %s\n' "${reached[@]}" >&2
    status=1
fi
exit $status
