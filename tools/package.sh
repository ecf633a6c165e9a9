#!/usr/bin/env bash
# Builds the Debian package: installs what is missing, builds the program and its desktop files
# in build/package (not the tests) and packs them with CPack. With --arch, the package for
# another Debian architecture (arm64, armhf), built here with Debian's cross compiler for it
# (see tools/cross_build.sh) into build/package-ARCH.
# Usage: tools/package.sh [--arch ARCH]   -> build/package[-ARCH]/quarnex_VERSION_ARCH.deb
set -euo pipefail
cd "$(dirname "$0")/.."

# shellcheck disable=SC1091  # checked on their own
source tools/quiet_step.sh
# shellcheck disable=SC1091
source tools/cross_build.sh

arch=$(dpkg --print-architecture)
if [ "${1:-}" = --arch ] && [ $# -eq 2 ]; then
    arch=$2
elif [ $# -ne 0 ]; then
    echo "usage: $0 [--arch ARCH]" >&2
    exit 2
fi

tools/install_dependencies.sh --arch "$arch" package
build=build/package
cross_arguments=()
if [ "$arch" != "$(dpkg --print-architecture)" ]; then
    build=build/package-$arch
    cross_build_settings "$arch"
fi
# The compiler and linker flags every Debian package is built with (dpkg-buildflags), with all
# of Debian's hardening but its -Werror=format-security: a user's build only shows warnings.
debian_flags() {
    DEB_HOST_ARCH=$arch DEB_BUILD_MAINT_OPTIONS=hardening=+all \
        DEB_CXXFLAGS_MAINT_STRIP=-Werror=format-security dpkg-buildflags --get "$1"
}
echo "building into $build"
# Without the dependency of install on "all", packing takes only what the two targets built.
run_quietly "$build/configure.log" cmake -S . -B "$build" -G Ninja \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON -DBUILD_TESTING=OFF \
    -DCMAKE_CXX_FLAGS="$(debian_flags CPPFLAGS) $(debian_flags CXXFLAGS)" \
    -DCMAKE_EXE_LINKER_FLAGS="$(debian_flags LDFLAGS)" \
    -DCPACK_DEBIAN_PACKAGE_ARCHITECTURE="$arch" "${cross_arguments[@]}"
run_quietly "$build/build.log" cmake --build "$build" -j 2 --target quarnex quarnex_desktop_icons
(cd "$build" && cpack --config CPackConfig.cmake)
