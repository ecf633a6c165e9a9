#!/usr/bin/env bash
# Makes what ARCH's system guest boots (guest.sh), in a root of ARCH: the release's kernel for
# ARCH, from Debian, and an initramfs of busybox, guest_init.sh as its first process, and the
# relay's test programs that build.sh cross-built, with the libraries they load and the
# captures they relay, each at the path it was built for. /check names the test to run.
# Usage: tools/test_on_arch/guest_image.sh ARCH OUTPUT_DIR    (from the repository's root)
#        -> OUTPUT_DIR/vmlinuz and OUTPUT_DIR/initramfs.cpio.gz
set -euo pipefail
arch=$1
output=$2
case $arch in
    arm64) flavour=arm64 ;;
    armhf) flavour=armmp ;;
    *) echo "no guest known for $arch" >&2 && exit 2 ;;
esac
# shellcheck disable=SC1091  # checked on its own
source tools/quiet_step.sh

export DEBIAN_FRONTEND=noninteractive
run_quietly /tmp/busybox.log apt-get install -y -q --no-install-recommends busybox-static
# The kernel package that linux-image-FLAVOUR stands for, fetched into apt's cache, which
# tools/test_on.sh keeps between runs.
kernel=$(apt-cache depends "linux-image-$flavour" |
    awk '$1 == "Depends:" && $2 ~ /^linux-image-/ { print $2; exit }')
run_quietly /tmp/kernel.log apt-get install -y -q --download-only --no-install-recommends "$kernel"
mkdir -p "$output"
dpkg-deb --fsys-tarfile /var/cache/apt/archives/"$kernel"_*.deb |
    tar -x -O --wildcards './boot/vmlinuz-*' > "$output/vmlinuz"
echo "guest kernel: $kernel"

image=$(mktemp -d)
trap 'rm -rf "$image"' EXIT
mkdir -p "$image"/{bin,dev,proc,sys,tmp}
cp /bin/busybox "$image/bin/busybox"
cp tools/test_on_arch/guest_init.sh "$image/init"
tests=$PWD/build/tests-$arch
programs=("$tests/bench/relay_bench" "$tests/tests/relay_bench_cli_tests")
files=("${programs[@]}" "$PWD"/tests/data/nmea/*)
for program in "${programs[@]}"; do
    mapfile -t -O "${#files[@]}" files < <(ldd "$program" | grep -o '/[^ ]*')
done
for file in "${files[@]}"; do
    mkdir -p "$image$(dirname "$file")"
    cp -L "$file" "$image$file"
done
# relay_bench --relay between two pseudo-terminals of the guest, a capture through it, its
# output checked against the relay's rules (the tests' model). The test must have run: a filter
# that matches no test passes too.
cat > "$image/check" << CHECK
${programs[1]} --gtest_color=no \\
    --gtest_filter=RelayBenchRelayMode.RelaysUntilTheInputHangsUpThenExitsZero > /tmp/out 2>&1
status=\$?
cat /tmp/out
[ \$status -eq 0 ] && grep -q '^\[  PASSED  \] 1 test\.' /tmp/out
CHECK
# busybox's own cpio writes the newc format the kernel unpacks; every file belongs to root.
(cd "$image" && find . | busybox cpio -o -H newc -R 0:0 2> /dev/null) |
    gzip -1 > "$output/initramfs.cpio.gz"
