#!/usr/bin/env bash
# Installs the Debian packages that building, testing and running Quarnex need, and only those
# that are missing. Safe to run again; needs root (or sudo) only when something is missing.
set -euo pipefail

packages=(
    # build
    cmake g++ ninja-build pkgconf
    # the dialog (Qt 6 Widgets with its offscreen and X11 platforms) and its icons
    qt6-base-dev librsvg2-bin
    # tests; gpsd is also what the GPS service output feeds at run time
    libgtest-dev gpsd gpsd-clients
    # the real tray icon under a private X server, screenshots and clicks from outside
    xvfb trayer x11-utils xdotool imagemagick
    # fuzzing (libFuzzer comes with clang's runtime)
    clang libclang-rt-14-dev
    # the Debian package (CPack's dependency list needs dpkg-shlibdeps and file) and the
    # validators of its desktop entry and metainfo
    dpkg-dev file desktop-file-utils appstream-util
)

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q '^install ok installed$'; then
        missing+=("$package")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
as_root=()
[ "$(id -u)" -eq 0 ] || as_root=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${as_root[@]}" apt-get -o DPkg::Lock::Timeout=600 update -q
"${as_root[@]}" apt-get -o DPkg::Lock::Timeout=600 install -y --no-install-recommends "${missing[@]}"
