#!/usr/bin/env bash
# Tries the package on stock Debian systems as a user's machine has them: boots each release
# under QEMU (Debian's own kernel for it, systemd as init, gpsd from Debian as the system's
# socket-activated service) and, inside, follows the README: installs build/package's .deb with
# apt, puts a normal user in dialout, opens gpsd's socket with the README's drop-in, copies the
# menu entry to the user's autostart folder and starts the user's X session. Quarnex must start
# there by itself, read COM1: (the guest's ttyS1, fed from here with a capture by the simulated
# receiver), put fixes into the system's gpsd after Start, end with exit code 1 on SIGTERM and
# leave no source in gpsd (tools/system_test/guest.sh has the steps).
#
# The release's image is built once with debootstrap and kept under build/system-test/RELEASE/
# (built again when its recipe changes); each run boots a copy-on-write layer over it, so every
# run starts from the stock system. The guest fetches Quarnex's dependencies from Debian. Every
# run ends by its deadline (QUARNEX_SYSTEM_TEST_MINUTES, default 30 per release) and leaves no
# QEMU behind. QEMU emulates the processor (TCG): KVM guests hang at boot on the machines this
# was made on; QUARNEX_SYSTEM_TEST_ACCEL=kvm tries KVM.
#
# Usage: tools/system_test.sh [bookworm|trixie]...    (default: both)
set -euo pipefail
releases=("$@")
[ $# -gt 0 ] || releases=(bookworm trixie)
for release in "${releases[@]}"; do
    case $release in
        bookworm | trixie) ;;
        *)
            echo "usage: $0 [bookworm|trixie]..." >&2
            exit 2
            ;;
    esac
done
[ "$(id -u)" -eq 0 ] || exec sudo "$0" "$@"
cd "$(dirname "$0")/.."
repository=$PWD
minutes=${QUARNEX_SYSTEM_TEST_MINUTES:-30}
accel=${QUARNEX_SYSTEM_TEST_ACCEL:-tcg}

tools/install_dependencies.sh system
mkdir -p build/system-test
echo "== the package (tools/package.sh, output in build/system-test/package.log)"
{ tools/package.sh && cmake --build build/package -j 2 --target simulated_receiver; } \
    > build/system-test/package.log 2>&1 || {
    tail -n 30 build/system-test/package.log >&2
    exit 1
}
package=$(ls -t build/package/quarnex_*.deb | head -n 1)
receiver=build/package/tools/simulated_receiver
capture=tests/data/nmea/nl551e.log

# QEMU (through its timeout), the simulated receiver and the report's reader.
pids=()
stop_all() {
    [ ${#pids[@]} -eq 0 ] && return 0
    kill "${pids[@]}" 2> /dev/null || true
    wait "${pids[@]}" 2> /dev/null || true
    pids=()
}
trap stop_all EXIT
trap 'exit 130' INT TERM

# The image is rebuilt when anything that goes into it changes.
image_for() {
    local release=$1 image=build/system-test/$1/image recipe
    recipe=$(cat tools/system_test/image.sh tools/system_test/quarnex-system-test.service \
        tools/debian_root.sh tools/chroot_run.sh | sha256sum | cut -c 1-16)
    if [ "$(cat "$image/recipe" 2> /dev/null)" = "$recipe" ]; then
        echo "== $release: image $recipe (cached)"
        return 0
    fi
    echo "== $release: building the image (debootstrap, packages; logs in $image)"
    rm -f "$image/recipe"
    # In the background, so that Ctrl-C reaches this script's trap meanwhile.
    timeout --kill-after=30 3600 tools/system_test/image.sh "$release" "$image" &
    pids+=($!)
    wait "${pids[-1]}" || { echo "== $release: the image could not be built"; return 1; }
    pids=()
    echo "$recipe" > "$image/recipe"
}

# The second disk: what the guest needs from this side.
make_payload() {
    local run=$1
    mkdir "$run/payload"
    cp "$package" README.md tools/system_test/guest.sh tools/system_test/session.sh \
        tools/system_test/session_reaper.py tools/system_test/quarnex-session.service \
        "$run/payload/"
    mkfs.ext4 -q -L payload -d "$run/payload" "$run/payload.img" 64M
}

# The guest's screenshots, sent in the report as gzipped, base64-coded xwd dumps.
save_screenshots() {
    local run=$1 name data
    while read -r _ name data; do
        base64 -d <<< "$data" | gunzip > "$run/$name.xwd" || continue
        if command -v convert > /dev/null && convert "xwd:$run/$name.xwd" "$run/$name.png"; then
            rm "$run/$name.xwd"
            echo "== screenshot: $run/$name.png"
        fi
    done < <(grep '^SCREENSHOT ' "$run/report.log")
}

boot_and_test() {
    local release=$1 run=$2 image=build/system-test/$1/image receiver_pty qemu_pid status
    qemu-img create -q -f qcow2 -F raw -b "$repository/$image/root.img" "$run/root.qcow2"
    mkfifo "$run/receiver"
    "$receiver" "$capture" > "$run/receiver" &
    pids+=($!)
    read -r receiver_pty < "$run/receiver"
    echo "== $release: booting; COM1: (ttyS1) reads $capture from $receiver_pty"
    : > "$run/report.log"
    timeout --kill-after=10 $((minutes * 60)) qemu-system-x86_64 \
        -nodefaults -display none -no-reboot \
        -machine pc -accel "$accel" -cpu max -smp 2 -m 2048 \
        -kernel "$image/vmlinuz" -initrd "$image/initrd.img" \
        -append "root=/dev/vda rw console=ttyS0 panic=-1" \
        -drive file="$run/root.qcow2",if=virtio,format=qcow2 \
        -drive file="$run/payload.img",if=virtio,format=raw,readonly=on \
        -netdev user,id=net0 -device virtio-net-pci,netdev=net0 \
        -serial file:"$run/console.log" -serial "$receiver_pty" \
        -device virtio-serial-pci -chardev file,id=report,path="$run/report.log" \
        -device virtserialport,chardev=report,name=org.quarnex.report &
    qemu_pid=$!
    pids+=("$qemu_pid")
    tail -n +1 -f --pid="$qemu_pid" "$run/report.log" |
        sed -u "/^SCREENSHOT /d; s/^/$release: /" &
    pids+=($!)
    status=0
    wait "$qemu_pid" || status=$?
    stop_all
    save_screenshots "$run"
    if [ "$status" -eq 124 ] || [ "$status" -eq 137 ]; then
        echo "== $release: deadline of $minutes minutes passed; the console's end:"
        tail -n 30 "$run/console.log"
        return 1
    fi
    grep -qx 'RESULT: PASS' "$run/report.log"
}

failed=()
for release in "${releases[@]}"; do
    started=$SECONDS
    if ! image_for "$release"; then
        failed+=("$release")
        continue
    fi
    built=$SECONDS
    run=build/system-test/$release/last-run
    rm -rf "$run"
    mkdir -p "$run"
    make_payload "$run"
    if boot_and_test "$release" "$run"; then
        verdict=passed
    else
        verdict=FAILED
        failed+=("$release")
    fi
    rm -f "$run/root.qcow2"
    echo "== $release: $verdict in $((SECONDS - started)) s (image $((built - started)) s," \
        "boot and test $((SECONDS - built)) s); logs in $run"
done
[ ${#failed[@]} -eq 0 ] || { echo "system test failed on: ${failed[*]}"; exit 1; }
echo "== system test passed on: ${releases[*]}"
