#!/usr/bin/env bash
# tools/test_on.sh --arch ARCH, in the fresh root of this machine's architecture: the package
# for ARCH from tools/package.sh --arch, lintian's verdict on it (no error, no warning), and the
# relay's test programs cross-built for ARCH (relay_bench and the tests that drive its --relay),
# which ARCH's system guest runs.
# Usage: tools/test_on_arch/build.sh ARCH      (from the repository's root)
set -euo pipefail
arch=$1
# shellcheck disable=SC1091  # checked on their own
source tools/quiet_step.sh
# shellcheck disable=SC1091
source tools/cross_build.sh

tools/package.sh --arch "$arch"
tools/install_dependencies.sh --arch "$arch" arch-check
echo "lintian (errors, warnings and notes):"
lintian --fail-on error,warning --display-info build/package-"$arch"/quarnex_*_"$arch".deb

cross_arguments=()
cross_build_settings "$arch"
build=build/tests-$arch
echo "building the relay's tests for $arch into $build"
# The cases of a test program are listed when ctest runs it (PRE_TEST), not after its build: a
# program for ARCH does not run here.
run_quietly "$build/configure.log" cmake -S . -B "$build" -G Ninja \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_GTEST_DISCOVER_TESTS_DISCOVERY_MODE=PRE_TEST \
    "${cross_arguments[@]}"
run_quietly "$build/build.log" cmake --build "$build" -j 2 --target relay_bench relay_bench_cli_tests
