#!/usr/bin/env bash
# Makes what the UART tests boot: Debian's own kernel for this host's release with the modules
# of the guest's USB serial adapter (fetched once into CACHE with apt-get, so that later runs
# need no network) and an initramfs with busybox, those modules, the guest program and the
# shared libraries it loads, copied from this host.
# Usage: guest_image.sh CACHE GUEST_PROGRAM INIT_SCRIPT OUTPUT_DIR
# Leaves OUTPUT_DIR/vmlinuz and OUTPUT_DIR/initramfs.cpio.gz.
set -euo pipefail
cache=$1 guest_program=$2 init_script=$3 output=$4

# The release's kernel: the package that linux-image-amd64 depends on in this host's release.
# Cached per release, since a build tree may be reused in another release's root.
# shellcheck source=/dev/null
. /etc/os-release
kernel_cache=$cache/${VERSION_CODENAME:-unknown}

# The drivers of QEMU's xHCI controller and of its FTDI adapter, which Debian builds as modules.
adapter_modules=(xhci-pci ftdi_sio)

# A module file's contents, decompressed: busybox's insmod takes only plain ones, and Debian 13
# ships them xz-compressed.
module_contents() {
    case $1 in
        *.xz) busybox xzcat "$1" ;;
        *) cat "$1" ;;
    esac
}

# Copies module NAME from the unpacked package at TREE into OUT, after the modules it depends on
# (its .modinfo "depends=" list), numbered in load order. Names may differ from file names in
# '-' against '_'.
copy_module() {
    local tree=$1 name=$2 out=$3 file dependency
    file=$(find "$tree" -name "${name//[-_]/[-_]}.ko*" | head -n 1)
    [ -n "$file" ] || {
        echo "no module $name in the kernel package" >&2
        return 1
    }
    local plain=${file##*/}
    plain=${plain%%.ko*}
    compgen -G "$out/*-$plain.ko" > /dev/null && return 0
    for dependency in $(module_contents "$file" | tr '\0' '\n' | sed -n 's/^depends=//p' |
        tr ',' ' '); do
        copy_module "$tree" "$dependency" "$out" || return 1
    done
    local number
    number=$(find "$out" -name '*.ko' | wc -l)
    module_contents "$file" > "$out/$(printf '%02d' "$number")-$plain.ko"
}

copy_adapter_modules() {
    local tree=$1 out=$2 module
    mkdir -p "$out" || return 1
    for module in "${adapter_modules[@]}"; do
        copy_module "$tree" "$module" "$out" || return 1
    done
}

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
        tar -x -C "$scratch" --wildcards './boot/vmlinuz-*' '*/modules/*/kernel/drivers/usb/*' &&
        copy_adapter_modules "$scratch" "$scratch/modules" &&
        rm -rf "$kernel_cache/modules" && mv "$scratch/modules" "$kernel_cache/modules" &&
        mv "$scratch"/boot/vmlinuz-* "$kernel_cache/vmlinuz" &&
        echo "$package" > "$kernel_cache/package"
    local fetched=$?
    rm -rf "$scratch"
    return $fetched
}
# A cache from before the adapter's modules were kept is fetched again.
if [ ! -s "$kernel_cache/vmlinuz" ] || [ ! -d "$kernel_cache/modules" ]; then
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
mkdir -p "$root"/{bin,dev,proc,sys,tmp} "$root/lib/modules"
cp "$kernel_cache"/modules/*.ko "$root/lib/modules/"
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
