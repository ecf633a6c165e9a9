#!/usr/bin/env bash
# Builds Quarnex and runs every test: once plainly, once under AddressSanitizer +
# UndefinedBehaviorSanitizer, the threaded suites under ThreadSanitizer, and a one-minute fuzz
# run of the relay's rules (clang's libFuzzer).
# Usage: tools/test.sh            (from anywhere; build trees go to build/<configuration>)
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install_dependencies.sh test

jobs=$(nproc)
# The GPS service suites run against the host's gpsd and the other Debian release's.
other_gpsd_root=$(tools/other_gpsd_root.sh "$PWD/build/gpsd-roots")

configure_and_build() {
    local name=$1
    shift
    cmake -S . -B "build/$name" -G Ninja -DQUARNEX_WERROR=ON \
        -DQUARNEX_OTHER_GPSD_ROOT="$other_gpsd_root" "$@" > /dev/null
    cmake --build "build/$name" -j "$jobs"
}

run_tests() {
    local name=$1
    shift
    echo "== tests: $name"
    (cd "build/$name" && ctest --output-on-failure -j "$jobs" "$@")
}

configure_and_build plain -DCMAKE_BUILD_TYPE=RelWithDebInfo
run_tests plain

configure_and_build address -DCMAKE_BUILD_TYPE=Debug -DQUARNEX_SANITIZER=address
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:detect_stack_use_after_return=1 \
LSAN_OPTIONS=suppressions=$PWD/tests/sanitizers/lsan.supp \
UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    run_tests address

configure_and_build thread -DCMAKE_BUILD_TYPE=Debug -DQUARNEX_SANITIZER=thread
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1:suppressions=$PWD/tests/sanitizers/tsan.supp \
    run_tests thread -L threaded

CXX=clang++ configure_and_build fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUARNEX_FUZZ=ON
run_tests fuzz

echo "== all tests passed"
