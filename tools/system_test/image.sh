#!/usr/bin/env bash
# Builds the disk image of a stock Debian system for tools/system_test.sh: the release made with
# debootstrap, Debian's own kernel for it, systemd as init, gpsd from Debian (socket-activated,
# as the package sets it up), an X server and an XDG autostart runner for a user's session, and
# a normal user "tester" who may use sudo. Quarnex is not in it: the test installs the package.
# At boot the system runs the test that the host hands over on its second disk.
#
# Usage: tools/system_test/image.sh RELEASE DIR
#   -> DIR/root.img (ext4, the root file system), DIR/vmlinuz, DIR/initrd.img
set -euo pipefail

release=$1
out=$(realpath -m "$2")
here=$(cd "$(dirname "$0")" && pwd)
root=$out/root

# Not Quarnex's dependencies, which `apt install` of the package must find by itself.
packages=(
    systemd-sysv dbus libpam-systemd udev linux-image-amd64 initramfs-tools
    iproute2 procps sudo gpsd gpsd-clients xvfb xdotool dex x11-apps
)

rm -rf --one-file-system "$root"
"$here/../debian_root.sh" "$release" "$root" "$out/debootstrap"
mkdir -p "$out/archives"
"$here/../chroot_run.sh" "$root" --archives "$out/archives" -- /bin/bash -euc '
    export DEBIAN_FRONTEND=noninteractive
    apt-get -q update
    apt-get -q install -y --no-install-recommends "$@"
    useradd --create-home --shell /bin/bash --groups sudo tester
' image "${packages[@]}" > "$out/install.log" 2>&1 || {
    tail -n 30 "$out/install.log" >&2
    exit 1
}

# The system as the test meets it.
echo quarnex-test > "$root/etc/hostname"
printf '127.0.0.1 localhost\n127.0.1.1 quarnex-test\n::1 localhost\n' > "$root/etc/hosts"
echo '/dev/vda / ext4 rw 0 0' > "$root/etc/fstab"
echo 'tester ALL=(ALL) NOPASSWD: ALL' > "$root/etc/sudoers.d/tester"
chmod 0440 "$root/etc/sudoers.d/tester"
# apt's daily timers would take the package lock at the first boot, in the middle of the test.
ln -sf /dev/null "$root/etc/systemd/system/apt-daily.timer"
ln -sf /dev/null "$root/etc/systemd/system/apt-daily-upgrade.timer"
install -m 0644 "$here/quarnex-system-test.service" "$root/etc/systemd/system/"
mkdir -p "$root/etc/systemd/system/multi-user.target.wants"
ln -sf /etc/systemd/system/quarnex-system-test.service \
    "$root/etc/systemd/system/multi-user.target.wants/quarnex-system-test.service"

cp "$(ls -v "$root"/boot/vmlinuz-* | tail -n 1)" "$out/vmlinuz"
cp "$(ls -v "$root"/boot/initrd.img-* | tail -n 1)" "$out/initrd.img"
rm -f "$out/root.img"
mkfs.ext4 -q -L quarnex-test -d "$root" "$out/root.img" 4G
rm -rf --one-file-system "$root"
