#!/bin/busybox sh
# shellcheck shell=dash
# The guest's first process (busybox's sh: the guest has no bash): mounts what the tests read
# (/proc/tty/driver/serial, the ttyS and ttyUSB device nodes), loads the USB adapter's modules
# (numbered in the order they need each other), then runs each line the host writes to the
# console (ttyS0) as a shell command. A plain read loop rather than an interactive shell: no
# prompt, no line editor echoing the host's input, so the console carries nothing but what the
# commands print.
set -eu
/bin/busybox --install -s /bin
export PATH=/bin
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev
stty -echo -onlcr
# A module that does not load fails only the adapter's tests, which show this line.
for module in /lib/modules/*.ko; do
    insmod "$module" || echo "guest: cannot load $module"
done
echo "guest: ready"
# A failing command is the host's to judge; it must not end this loop (and with it the guest).
set +e
while read -r command; do
    eval "$command"
done
# The host closed the console: nothing more will come.
poweroff -f
