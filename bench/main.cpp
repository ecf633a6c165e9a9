// relay_bench: the relay's benchmark, or (--relay) a plain relay between two ports.
#include <cstdio>

#include "bench/bench_mode.h"
#include "bench/command_line.h"
#include "bench/relay_mode.h"

int main(int argc, char** argv)
{
    CommandLine line;
    if (!ParseCommandLine(argc, argv, line)) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    return line.relayMode ? RunRelayMode(line.relay) : RunBenchmark(line.bench);
}
