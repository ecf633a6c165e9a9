// relay_bench: the relay's benchmark, its soak (--soak), or (--relay) a plain relay between two
// ports.
#include <cstdio>

#include "bench/bench_mode.h"
#include "bench/command_line.h"
#include "bench/relay_mode.h"
#include "bench/soak_mode.h"

int main(int argc, char** argv)
{
    CommandLine line;
    if (!ParseCommandLine(argc, argv, line)) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    switch (line.mode) {
        case BenchMode::kSoak:
            return RunSoak(line.soak);
        case BenchMode::kRelay:
            return RunRelayMode(line.relay);
        case BenchMode::kBenchmark:
            break;
    }
    return RunBenchmark(line.bench);
}
