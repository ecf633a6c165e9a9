#!/usr/bin/env bash
# Builds the Debian package: installs what is missing, builds the program and its desktop files
# in build/package (not the tests) and packs them with CPack.
# Usage: tools/package.sh     -> build/package/quarnex_VERSION_ARCH.deb
set -euo pipefail
cd "$(dirname "$0")/.."

# shellcheck disable=SC1091  # checked on its own
source tools/quiet_step.sh

tools/install_dependencies.sh package
build=build/package
# The compiler and linker flags every Debian package is built with (dpkg-buildflags), with all
# of Debian's hardening but its -Werror=format-security: a user's build only shows warnings.
debian_flags() {
    DEB_BUILD_MAINT_OPTIONS=hardening=+all DEB_CXXFLAGS_MAINT_STRIP=-Werror=format-security \
        dpkg-buildflags --get "$1"
}
echo "building into $build"
# Without the dependency of install on "all", packing takes only what the two targets built.
run_quietly "$build/configure.log" cmake -S . -B "$build" -G Ninja \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON -DBUILD_TESTING=OFF \
    -DCMAKE_CXX_FLAGS="$(debian_flags CPPFLAGS) $(debian_flags CXXFLAGS)" \
    -DCMAKE_EXE_LINKER_FLAGS="$(debian_flags LDFLAGS)"
run_quietly "$build/build.log" cmake --build "$build" -j 2 --target quarnex quarnex_desktop_icons
(cd "$build" && cpack --config CPackConfig.cmake)
