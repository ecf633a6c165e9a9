#!/usr/bin/env bash
# The system test inside the booted Debian system, as root. It follows the README as a user
# would, running the README's own command blocks (from the copy on this disk): the package
# installed with apt, the user in dialout, gpsd's socket opened to that group with the README's
# drop-in, GPSD_SOCKET in the user's ~/.profile, the menu entry copied to the autostart folder.
# Then the user's X session starts, Quarnex must come up by itself, Start (pressed with the
# mouse) must bring fixes to a gpsd client, SIGTERM must end it with exit code 1 and gpsd must
# list no source of it afterwards. Every step reports PASS or FAIL on the report port, within a
# deadline of its own; the last line is "RESULT: PASS" or "RESULT: FAIL (steps)".
set -uo pipefail
payload=/mnt/payload
report=/dev/virtio-ports/org.quarnex.report
udevadm wait --timeout=60 "$report" && exec > "$report" 2>&1
export DEBIAN_FRONTEND=noninteractive
user=tester
home=/home/$user
work=$(mktemp -d)

failed=()
check() {
    local name=$1 started=$SECONDS
    shift
    echo "== $name"
    if "$@"; then
        echo "PASS: $name ($((SECONDS - started)) s)"
    else
        echo "FAIL: $name ($((SECONDS - started)) s)"
        failed+=("$name")
        return 1
    fi
}

finish() {
    if [ ${#failed[@]} -eq 0 ]; then
        echo "RESULT: PASS"
    else
        echo "RESULT: FAIL (${failed[*]})"
    fi
    systemctl --no-block poweroff
    exit 0
}

as_user() {
    runuser -l "$user" -c "$1"
}

# The first ```sh block after the README's first line that begins with $1, as the user types it.
readme_block() {
    awk -v heading="$1" '
        state == 0 && index($0, heading) == 1 { state = 1; next }
        state == 1 && /^ *```sh/ { state = 2; next }
        state == 2 && /^ *```/ { exit }
        state == 2 { sub(/^   /, ""); print }' "$payload/README.md"
}

# gpsd's answer to a client's ?DEVICES; (one JSON line), from its TCP port.
gpsd_devices() {
    local line
    exec 8<> /dev/tcp/127.0.0.1/2947 || return 1
    printf '?DEVICES;\n' >&8
    while IFS= read -r -t 10 line <&8; do
        if [[ $line == *'"class":"DEVICES"'* ]]; then
            printf '%s\n' "$line"
            exec 8<&-
            return 0
        fi
    done
    exec 8<&-
    return 1
}

# Reads lines from descriptor $1 until one matches the pattern $2, for at most $3 seconds;
# prints the matching line.
wait_for_line() {
    local fd=$1 pattern=$2 deadline=$((SECONDS + $3)) line
    while [ "$SECONDS" -lt "$deadline" ] &&
        IFS= read -r -t $((deadline - SECONDS)) line <&"$fd"; do
        echo "  | $line" >&2
        if [[ $line =~ $pattern ]]; then
            printf '%s\n' "$line"
            return 0
        fi
    done
    return 1
}

describe_system() {
    . /etc/os-release
    echo "system: $PRETTY_NAME, kernel $(uname -r), $(systemctl --version | head -n 1)"
    echo "init: $(readlink /proc/1/exe); gpsd: $(dpkg-query -W -f '${Version}' gpsd)"
    echo "enabled: $(systemctl is-enabled gpsd.socket gpsd.service | paste -sd ' ')" \
        "(gpsd.socket, gpsd.service)"
}

# QEMU's user network: the guest is 10.0.2.15, the host's resolver 10.0.2.3.
bring_up_network() {
    local interface
    for interface in /sys/class/net/*; do
        [ "${interface##*/}" = lo ] || break
    done
    interface=${interface##*/}
    ip link set "$interface" up &&
        ip address add 10.0.2.15/24 dev "$interface" &&
        ip route add default via 10.0.2.2 &&
        echo 'nameserver 10.0.2.3' > /etc/resolv.conf &&
        timeout 300 apt-get -q update
}

# The README's install line, run by the user from a folder holding build/package/ as the
# package command leaves it. apt asks before it installs dependencies: the user says yes.
install_package() {
    local commands
    commands=$(readme_block '## Install' | grep 'apt install')
    [ -n "$commands" ] || { echo "no apt install line under Install in the README"; return 1; }
    echo 'APT::Get::Assume-Yes "true";' > /etc/apt/apt.conf.d/90quarnex-test-says-yes
    install -d -o "$user" "$home/quarnex/build/package"
    install -o "$user" "$payload"/quarnex_*.deb "$home/quarnex/build/package/"
    echo "  \$ $commands"
    timeout 600 runuser -l "$user" -c "cd ~/quarnex && $commands" < /dev/null &&
        dpkg-query -W quarnex && command -v quarnex
}

join_dialout() {
    local commands
    commands=$(readme_block '**Access to the serial ports.**')
    echo "  \$ $commands"
    as_user "$commands" && id -nG "$user" | grep -qw dialout
}

# The README's drop-in for gpsd's socket: the part for root as root, the part for the user into
# the user's ~/.profile, as the README suggests.
open_gpsd_socket() {
    local block root_part user_part mode
    block=$(readme_block "**Letting a user's Quarnex feed the system gpsd.**")
    root_part=$(sed '/^# as the user/,$d' <<< "$block")
    user_part=$(sed -n '/^# as the user/,$p' <<< "$block" | grep -v '^#')
    echo "$root_part" | sed 's/^/  # /'
    timeout 120 bash -ec "$root_part" || return 1
    echo "  ~/.profile += $user_part"
    printf '%s\n' "$user_part" >> "$home/.profile"
    mode=$(stat -c '%a %U:%G' /run/gpsd.sock) || return 1
    echo "  /run/gpsd.sock: $mode; gpsd.socket $(systemctl is-active gpsd.socket)," \
        "gpsd.service $(systemctl is-active gpsd.service)"
    [ "$mode" = "660 root:dialout" ]
}

copy_to_autostart() {
    local commands
    commands=$(readme_block '**Starting with the session.**')
    echo "$commands" | sed 's/^/  $ /'
    as_user "$commands" && ls "$home/.config/autostart/"*.desktop
}

# The session's output comes through a FIFO that the unit writes into: a read-write open here,
# so that neither side waits for the other.
start_session() {
    install -m 0644 "$payload/quarnex-session.service" /run/systemd/system/
    systemctl daemon-reload
    mkfifo -m 0600 /run/quarnex-session.out
    exec 6<> /run/quarnex-session.out
    timeout 150 systemctl start quarnex-session.service || {
        journalctl -b --no-pager -u quarnex-session.service | tail -n 20
        return 1
    }
}

# Quarnex started by the autostart runner (or left to the session process by it), in the user's
# login session, with the session's groups and environment; its dialog shown.
find_autostarted_quarnex() {
    local display parent unit
    display=$(wait_for_line 6 '^session: X server on ' 30) || return 1
    quarnex_display=${display##* }
    wait_for_line 6 '^session: started ' 30 > /dev/null || return 1
    quarnex_window=$(timeout 180 runuser -u "$user" -- env DISPLAY="$quarnex_display" \
        xdotool search --sync --name 'DuZE Quarnex' | head -n 1) || return 1
    quarnex_pid=$(runuser -u "$user" -- env DISPLAY="$quarnex_display" \
        xdotool getwindowpid "$quarnex_window") || return 1
    parent=$(ps -o comm= -p $(($(ps -o ppid= -p "$quarnex_pid"))))
    unit=$(ps -o unit= -p "$quarnex_pid")
    echo "  dialog window $quarnex_window of process $quarnex_pid" \
        "($(cat "/proc/$quarnex_pid/comm"), user $(ps -o user= -p "$quarnex_pid"))," \
        "parent $parent, unit $unit"
    echo "  groups: $(ps -o supgrp= -p "$quarnex_pid")"
    echo "  $(tr '\0' '\n' < "/proc/$quarnex_pid/environ" | grep '^GPSD_SOCKET=')"
    [[ $parent == dex || $parent == python3 ]] && [[ $unit == session-*.scope ]] &&
        ps -o supgrp= -p "$quarnex_pid" | grep -qw dialout &&
        tr '\0' '\n' < "/proc/$quarnex_pid/environ" | grep -qx 'GPSD_SOCKET=/run/gpsd.sock'
}

# A gpsd client watching, Start pressed where the dialog's layout puts it (as tools/run.sh
# does), and a fix from Quarnex's source reported to the client.
fixes_reach_gpsd() {
    local geometry X Y WIDTH HEIGHT fix devices
    mkfifo "$work/reports"
    runuser -u "$user" -- timeout 600 gpspipe -w > "$work/reports" 2> /dev/null &
    exec 7< "$work/reports"
    wait_for_line 7 '"class":"WATCH"' 30 > /dev/null || return 1
    geometry=$(runuser -u "$user" -- env DISPLAY="$quarnex_display" \
        xdotool getwindowgeometry --shell "$quarnex_window") || return 1
    eval "$geometry"
    # "Start" is centred at (44, 123) of the 160 x 162 dialog units.
    runuser -u "$user" -- env DISPLAY="$quarnex_display" xdotool mousemove --sync \
        $((X + WIDTH * 44 / 160)) $((Y + HEIGHT * 123 / 162)) click 1 || return 1
    echo "  pressed Start"
    fix=$(wait_for_line 7 '"class":"TPV","device":"tcp://127\.113\.110\.120:[0-9]+".*"lat":' 120)
    screenshot after-start
    if [ -z "$fix" ]; then
        runuser -u "$user" -- env DISPLAY="$quarnex_display" \
            xdotool search --name '^Quarnex$' > /dev/null &&
            echo "  a message box \"Quarnex\" is open"
        journalctl -b -u gpsd.service --no-pager | tail -n 15 | sed 's/^/  gpsd: /'
        return 1
    fi
    echo "  fix: $(grep -o '"time":"[^"]*"' <<< "$fix") $(grep -o '"lat":[-0-9.]*' <<< "$fix")"
    devices=$(gpsd_devices) || return 1
    echo "  gpsd: $devices"
    [[ $devices == *'"path":"tcp://127.113.110.120:'* ]]
}

# The session's screen, for the host to save (tools/system_test.sh makes a PNG of it).
screenshot() {
    echo "SCREENSHOT $1 $(runuser -u "$user" -- env DISPLAY="$quarnex_display" \
        xwd -root -silent | gzip -c | base64 -w 0)"
}

sigterm_ends_with_1() {
    local ended
    kill -TERM "$quarnex_pid" || return 1
    ended=$(wait_for_line 6 "^session: $quarnex_pid \\(quarnex\\) ended: " 60) &&
        [[ $ended == *': exit 1' ]]
}

no_source_left() {
    local devices
    devices=$(gpsd_devices) || return 1
    echo "  gpsd: $devices"
    [[ $devices != *'tcp://127.113.110.120:'* ]]
}

check "the system" describe_system
check "network and apt lists" bring_up_network || finish
check "README: apt install ./build/package/quarnex_*.deb" install_package || finish
check "README: usermod -aG dialout" join_dialout
check "README: gpsd.socket drop-in, GPSD_SOCKET in ~/.profile" open_gpsd_socket
check "README: menu entry copied to ~/.config/autostart" copy_to_autostart
check "user's X session started" start_session || finish
check "Quarnex autostarted in the session, in dialout, GPSD_SOCKET set" find_autostarted_quarnex ||
    finish
check "Start with the defaults: fixes in gpsd from COM1: (ttyS1)" fixes_reach_gpsd
check "SIGTERM as at logout: exit code 1" sigterm_ends_with_1
check "gpsd lists no source of Quarnex afterwards" no_source_left
finish
