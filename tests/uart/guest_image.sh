#!/usr/bin/env bash
# Makes what the UART tests boot: Debian's own kernel for this host's release (fetched once into
# CACHE with apt-get, so that later runs need no network) and an initramfs with busybox, the
# guest program and the shared libraries it loads, copied from this host.
# Usage: guest_image.sh CACHE GUEST_PROGRAM INIT_SCRIPT OUTPUT_DIR
# Leaves OUTPUT_DIR/vmlinuz and OUTPUT_DIR/initramfs.cpio.gz.
set -euo pipefail
cache=$1 guest_program=$2 init_script=$3 output=$4

# The release's kernel: the package that linux-image-amd64 depends on in this host's release.
# Cached per release, since a build tree may be reused in another release's root.
# shellcheck source=/dev/null
. /etc/os-release
kernel_cache=$cache/${VERSION_CODENAME:-unknown}
fetch_kernel() {
    local package
    package=$(apt-cache depends linux-image-amd64 2> /dev/null |
        awk '$1 == "Depends:" && $2 ~ /^linux-image-/ { print $2; exit }')
    [ -n "$package" ] || return 1
    local scratch
    scratch=$(mktemp -d "$cache/fetch.XXXXXX")
    # apt's own download user may not write into the build tree; download as the caller.
    (cd "$scratch" && apt-get download -q -o APT::Sandbox::User="$(id -un)" "$package") &&
        dpkg-deb --fsys-tarfile "$scratch"/*.deb |
        tar -x -C "$scratch" --wildcards './boot/vmlinuz-*' &&
        mv "$scratch"/boot/vmlinuz-* "$kernel_cache/vmlinuz" &&
        echo "$package" > "$kernel_cache/package"
    local fetched=$?
    rm -rf "$scratch"
    return $fetched
}
if [ ! -s "$kernel_cache/vmlinuz" ]; then
    mkdir -p "$kernel_cache"
    # Package lists may be missing or stale on a fresh machine: refresh them once, then retry.
    if ! fetch_kernel; then
        apt-get -o DPkg::Lock::Timeout=600 update -q > /dev/null
        fetch_kernel || {
            echo "cannot fetch the kernel package of $PRETTY_NAME" >&2
            exit 1
        }
    fi
    echo "guest kernel: $(cat "$kernel_cache/package")"
fi
mkdir -p "$output"
cp "$kernel_cache/vmlinuz" "$output/vmlinuz"

root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
mkdir -p "$root"/{bin,dev,proc,sys,tmp}
cp /bin/busybox "$root/bin/busybox"
cp "$init_script" "$root/init"
cp "$guest_program" "$root/bin/uart_guest"
chmod 755 "$root/init" "$root/bin/uart_guest"
# Each library where the host's loader found it, the loader itself included.
for library in $(ldd "$guest_program" | grep -o '/[^ ]*'); do
    mkdir -p "$root$(dirname "$library")"
    cp -L "$library" "$root$library"
done
# busybox's own cpio writes the newc format the kernel unpacks; every file belongs to root.
(cd "$root" && find . | busybox cpio -o -H newc -R 0:0 2> /dev/null) |
    gzip -1 > "$output/initramfs.cpio.gz"
