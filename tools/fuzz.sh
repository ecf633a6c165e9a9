#!/usr/bin/env bash
# Fuzzes the relay's framing, filter and repair against the model of its rules.
# Usage: tools/fuzz.sh [SECONDS]   (default 1800; the test command runs 60)
set -euo pipefail
cd "$(dirname "$0")/.."
tools/install_dependencies.sh test
seconds=${1:-1800}
CXX=clang++ cmake -S . -B build/fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQUARNEX_FUZZ=ON > /dev/null
cmake --build build/fuzz --target relay_fuzzer
mkdir -p build/fuzz/tests/fuzz/corpus
exec build/fuzz/tests/fuzz/relay_fuzzer -max_total_time="$seconds" -max_len=20000 -timeout=10 \
    -dict=tests/fuzz/nmea.dict -print_final_stats=1 \
    build/fuzz/tests/fuzz/corpus tests/data/nmea
