#!/usr/bin/env bash
# Tries Quarnex without a receiver: installs what is missing, builds, and starts the program
# with a simulated receiver as "COM1:" and a private gpsd as the GPS service, both made for this
# run alone (nothing in ~/.config or the system's gpsd is touched). Pressing "Start" with the
# defaults relays the receiver's sentences into that gpsd; this terminal shows the fixes gpsd
# reports.
#
# With no display ($DISPLAY unset) it runs the program on a private Xvfb with a tray, presses
# "Start" through the real window, prints the first fixes that reached gpsd, saves a screenshot
# and ends the program again.
#
# Usage: tools/run.sh [CAPTURE]     (default tests/data/nmea/nl551e.log)
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
capture=${1:-tests/data/nmea/nl551e.log}
fixes_to_show=5

source tools/quiet_step.sh

tools/install_dependencies.sh run
build=build/run
echo "building into $build"
run_quietly "$build/configure.log" \
    cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=OFF
run_quietly "$build/build.log" cmake --build "$build" -j 2 --target quarnex simulated_receiver

work=$(mktemp -d /tmp/quarnex-run-XXXXXX)
pids=()
stop_all() {
    local i
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
        kill "${pids[i]}" 2> /dev/null || true
        wait "${pids[i]}" 2> /dev/null || true
    done
    rm -rf "$work"
}
trap stop_all EXIT
trap 'exit 130' INT TERM

# The receiver: a pseudo-terminal that "COM1:" resolves to through a port directory of our own.
mkdir "$work/ports"
mkfifo "$work/receiver.out"
"$build/tools/simulated_receiver" "$capture" "$work/ports/COM1" > "$work/receiver.out" &
pids+=($!)
read -r receiver_pty < "$work/receiver.out"
echo "simulated receiver: $capture on $receiver_pty (COM1:)"

# A private gpsd on a free port; its log says "startup at" once its sockets are open.
start_gpsd() {
    mkfifo "$work/gpsd.err"
    gpsd -N -D 3 -F "$work/gpsd.sock" -S "$1" 2> "$work/gpsd.err" &
    gpsd_pid=$!
    exec 4< "$work/gpsd.err"
    rm "$work/gpsd.err"
    local line
    while IFS= read -r line <&4; do
        echo "$line" >> "$work/gpsd.log"
        if [[ $line == *"startup at"* ]]; then
            cat <&4 >> "$work/gpsd.log" &
            pids+=("$gpsd_pid" $!)
            return 0
        fi
    done
    wait "$gpsd_pid" 2> /dev/null || true  # it could not start (port taken)
    return 1
}
for attempt in 1 2 3 4 5; do
    gpsd_port=$((20000 + RANDOM % 30000))
    start_gpsd "$gpsd_port" && break
    [ "$attempt" -eq 5 ] && { echo "gpsd would not start; see its log above" >&2; exit 1; }
done
echo "private gpsd: port $gpsd_port, control socket $work/gpsd.sock"

# Fixes as gpsd reports them to its clients. Two processes joined by a FIFO rather than a
# pipeline, so that each can be stopped by its own process id.
mkfifo "$work/reports" "$work/fixes"
gpspipe -w "localhost:$gpsd_port" > "$work/reports" 2> /dev/null &
pids+=($!)
sed -u -n 's/.*"class":"TPV".*"time":"\([^"]*\)".*"lat":\([-0-9.]*\),"lon":\([-0-9.]*\).*/gpsd fix: \1  lat \2  lon \3/p' \
    < "$work/reports" > "$work/fixes" &
pids+=($!)

# Quarnex ends with exit code 1 however it is closed (its dialog's result); anything else means
# it failed, and so does this command then.
report_exit() {
    if [ "$1" -eq 1 ]; then
        echo "Quarnex ended with exit code 1, its normal exit code"
        return 0
    fi
    echo "Quarnex ended with exit code $1: not its normal exit code 1, something went wrong" >&2
    return 1
}

export QUARNEX_PORTS_DIR=$work/ports
export GPSD_SOCKET=$work/gpsd.sock
if [ -z "${XDG_RUNTIME_DIR:-}" ]; then
    mkdir -m 700 "$work/runtime"
    export XDG_RUNTIME_DIR=$work/runtime
fi

if [ -n "${DISPLAY:-}" ]; then
    echo "Quarnex is starting: press \"Start\" with the defaults; fixes appear below."
    cat "$work/fixes" &
    pids+=($!)
    status=0
    "$build/ui/quarnex" || status=$?
    report_exit "$status"
    exit
fi

# No display: a private X server with a tray, the program on it, and "Start" pressed with the
# mouse where the dialog's layout puts it.
mkfifo "$work/display"
Xvfb -displayfd 5 -screen 0 800x600x24 -nolisten tcp 5> "$work/display" 2> /dev/null &
pids+=($!)
read -r display_number < "$work/display"
export DISPLAY=:$display_number
trayer --edge bottom --align right --height 32 --widthtype request 2> /dev/null &
pids+=($!)
"$build/ui/quarnex" &
quarnex_pid=$!
pids+=("$quarnex_pid")
window=$(timeout 30 xdotool search --sync --all --pid "$quarnex_pid" --name 'DuZE Quarnex' | head -1)
eval "$(xdotool getwindowgeometry --shell "$window")"
# "Start" is centred at (44, 123) of the 160 x 162 dialog units.
xdotool mousemove --sync $((X + WIDTH * 44 / 160)) $((Y + HEIGHT * 123 / 162)) click 1
echo "pressed Start on the dialog on $DISPLAY; waiting for fixes in gpsd"

exec 6< "$work/fixes"
for ((n = 0; n < fixes_to_show; n++)); do
    if ! IFS= read -r -t 60 fix <&6; then
        echo "no fix reached gpsd within a minute" >&2
        exit 1
    fi
    echo "$fix"
done
screenshot=$root/$build/quarnex-run.png
import -display "$DISPLAY" -window root "$screenshot"
echo "screenshot: $screenshot"
kill -TERM "$quarnex_pid"
status=0
wait "$quarnex_pid" || status=$?
report_exit "$status"
