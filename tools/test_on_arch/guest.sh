#!/usr/bin/env bash
# Boots ARCH's system guest (guest_image.sh made it) under QEMU's software emulation, shows its
# console and exits with the exit code the guest's check reports: 1 when it reports none, as
# when the guest did not come up and finish within 10 minutes.
# Usage: tools/test_on_arch/guest.sh IMAGE_DIR ARCH
set -euo pipefail
image=$1
arch=$2
case $arch in
    arm64) qemu=(qemu-system-aarch64 -machine virt -cpu cortex-a57) ;;
    armhf) qemu=(qemu-system-arm -machine virt -cpu cortex-a15) ;;
    *) echo "no guest known for $arch" >&2 && exit 2 ;;
esac
console=$image/console.log
# panic=-1 with -no-reboot turns a guest's panic into QEMU's exit.
timeout --kill-after=10 600 "${qemu[@]}" -m 512 -nodefaults -no-user-config -display none \
    -no-reboot -kernel "$image/vmlinuz" -initrd "$image/initramfs.cpio.gz" \
    -append "console=ttyAMA0 quiet panic=-1" -serial stdio < /dev/null | tee "$console" || true
status=$(tr -d '\r' < "$console" | sed -n 's/^guest: exit code \([0-9]*\)$/\1/p')
[ -n "$status" ] || { echo "the guest reported no exit code" >&2 && exit 1; }
exit "$status"
