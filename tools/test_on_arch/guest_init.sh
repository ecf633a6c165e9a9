#!/bin/busybox sh
# shellcheck shell=dash
# The first process of ARCH's system guest (busybox's sh): mounts what the relay's test needs,
# pseudo-terminals and a /tmp, runs the command in /check, says its exit code on the console and
# powers the guest off.
/bin/busybox --install -s /bin
export PATH=/bin
mount -t proc proc /proc
mount -t sysfs sysfs /sys
mount -t devtmpfs devtmpfs /dev
mkdir -p /dev/pts
mount -t devpts devpts /dev/pts
mount -t tmpfs tmpfs /tmp
echo "guest: $(uname -m), Linux $(uname -r)"
sh /check
echo "guest: exit code $?"
poweroff -f
