#!/usr/bin/env bash
# Installs the Debian packages that a task with Quarnex needs, and only those that are missing.
# Safe to run again; needs root (or sudo) only when something is missing. Every name below is
# offered alike by Debian 12 (bookworm) and Debian 13 (trixie): where a package is versioned
# (clang's runtime), the unversioned one that follows the release's default is named.
#
# Usage: tools/install_dependencies.sh [--arch ARCH] [build] [package] [run] [test] [fresh]
#                                     [system] [arch-check]      (no role: test)
#   build       the program: compiler, CMake, Qt 6 Widgets, the icon renderer
#   package     building the Debian package: build, and what CPack's dependency list needs
#   run         tools/run.sh: build, a gpsd and its clients, a private X server with a tray
#   test        tools/test.sh: all of the above, GoogleTest, clang's fuzzer and sanitizer
#               runtime, the package validators and lintian, debootstrap for the newer gpsd's
#               root, QEMU with a static busybox for the guest whose UARTs the serial tests run
#               on, a private session bus with a StatusNotifierItem watcher and host for the
#               tray tests, a headless Wayland compositor with Qt's Wayland platform, and
#               dbus-x11 as desktops have it
#   fresh       tools/test_on.sh: debootstrap for a fresh root of a release
#   system      tools/system_test.sh: package, debootstrap, and QEMU to boot the release's system
#   arch-check  tools/test_on.sh --arch ARCH where it builds: package, lintian, GoogleTest
# --arch ARCH, a Debian architecture other than this machine's (arm64, armhf), adds ARCH's own
# packages to package and arch-check (Debian's cross compiler for ARCH, and Qt and GoogleTest
# for ARCH beside the host's, through multiarch), and to fresh the emulators that run ARCH's
# programs here: user-mode (qemu-user-static) and a system guest (qemu-system-arm).
set -euo pipefail

build=(cmake g++ ninja-build pkgconf qt6-base-dev librsvg2-bin)
# CPack's dependency list needs dpkg-shlibdeps and file.
package=(dpkg-dev file)
# The simulated receiver feeds a private gpsd; the program runs on Xvfb with trayer as its tray,
# and xdotool and ImageMagick press Start and take the screenshot.
run=(gpsd gpsd-clients xvfb trayer x11-utils xdotool imagemagick)
test=(libgtest-dev clang libclang-rt-dev desktop-file-utils appstream-util lintian debootstrap
    qemu-system-x86 busybox-static)
# The tray tests run their own dbus-daemon (gdbus waits for a name on it); the StatusNotifierItem
# tray is status-notifier-watcher with gtk-sni-tray-standalone as its host.
test+=(dbus-daemon libglib2.0-bin haskell-status-notifier-item-utils haskell-gtk-sni-tray-utils)
# The program in a Wayland session: weston's headless back end, and Qt's platform for it.
test+=(weston qt6-wayland)
# A desktop's own: with dbus-x11 an X client without a session bus starts one on its display.
# The tests run as from a desktop's terminal, where it is there.
test+=(dbus-x11)
fresh=(debootstrap)
system=(debootstrap qemu-system-x86 qemu-utils)
arch_check=(lintian)

arch=$(dpkg --print-architecture)
if [ "${1:-}" = --arch ] && [ $# -ge 2 ]; then
    arch=$2
    shift 2
fi
if [ "$arch" != "$(dpkg --print-architecture)" ]; then
    package+=("crossbuild-essential-$arch" "qt6-base-dev:$arch")
    fresh+=(qemu-user-static qemu-system-arm)
    arch_check+=("libgtest-dev:$arch")
fi

[ $# -gt 0 ] || set -- test
wanted=("${build[@]}")
for role in "$@"; do
    case $role in
        build) ;;
        package) wanted+=("${package[@]}") ;;
        run) wanted+=("${run[@]}") ;;
        test) wanted+=("${package[@]}" "${run[@]}" "${test[@]}") ;;
        fresh) wanted+=("${fresh[@]}") ;;
        system) wanted+=("${package[@]}" "${system[@]}") ;;
        arch-check) wanted+=("${package[@]}" "${arch_check[@]}") ;;
        *)
            echo "unknown role: $role (build, package, run, test, fresh, system or arch-check)" >&2
            exit 2
            ;;
    esac
done

# A package installed for the architecture it is wanted for: the one named after a colon, else
# this machine's (or "all"). A Multi-Arch package may be installed for several at once.
installed() {
    local name=${1%%:*} for
    for=$(dpkg --print-architecture)
    [[ $1 != *:* ]] || for=${1#*:}
    dpkg-query -W -f='${Status} ${Architecture}\n' "$name" 2> /dev/null |
        grep -qE "^install ok installed ($for|all)$"
}

missing=()
for package_name in "${wanted[@]}"; do
    installed "$package_name" || missing+=("$package_name")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo)
export DEBIAN_FRONTEND=noninteractive
# ARCH's own packages (NAME:ARCH) come only once dpkg knows the architecture.
if printf '%s\n' "${missing[@]}" | grep -q ":$arch$" &&
    ! dpkg --print-foreign-architectures | grep -qx "$arch"; then
    "${as_root[@]}" dpkg --add-architecture "$arch"
fi
"${as_root[@]}" apt-get -o DPkg::Lock::Timeout=600 update -q
"${as_root[@]}" apt-get -o DPkg::Lock::Timeout=600 install -y --no-install-recommends "${missing[@]}"
