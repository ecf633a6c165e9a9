#!/bin/busybox sh
# The guest's first process: mounts what the tests read (/proc/tty/driver/serial, the ttyS
# device nodes), then runs each line the host writes to the console (ttyS0) as a shell command.
# A plain read loop rather than an interactive shell: no prompt, no line editor echoing the
# host's input, so the console carries nothing but what the commands print.
/bin/busybox --install -s /bin
export PATH=/bin
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev
stty -echo -onlcr
echo "guest: ready"
while read -r command; do
    eval "$command"
done
# The host closed the console: nothing more will come.
poweroff -f
