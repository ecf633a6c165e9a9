// The benchmark itself: flood, paced, latency, idle and memory figures in one run, each beside
// its target. Exits 1 when any output was not exactly what the relay's rules give, so that a
// fast but wrong relay cannot pass for a fast one.
#pragma once

#include "bench/command_line.h"

int RunBenchmark(const BenchSettings& settings);
