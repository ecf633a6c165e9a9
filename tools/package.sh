#!/usr/bin/env bash
# Builds the Debian package: installs what is missing, builds the program and its desktop files
# in build/package (not the tests) and packs them with CPack.
# Usage: tools/package.sh     -> build/package/quarnex_VERSION_ARCH.deb
set -euo pipefail
cd "$(dirname "$0")/.."

source tools/quiet_step.sh

tools/install_dependencies.sh package
build=build/package
echo "building into $build"
# Without the dependency of install on "all", packing takes only what the two targets built.
run_quietly "$build/configure.log" cmake -S . -B "$build" -G Ninja \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON -DBUILD_TESTING=OFF
run_quietly "$build/build.log" cmake --build "$build" -j 2 --target quarnex quarnex_desktop_icons
(cd "$build" && cpack --config CPackConfig.cmake)
