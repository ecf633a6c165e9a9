// The targets the benchmark prints its figures against. They are reported as PASS or MISS,
// never asserted: the figures depend on the machine and on what else runs on it.
#pragma once

#include "tests/support/thread_usage.h"  // kMemoryGrowthTargetKiB, which the tests hold runs to

inline constexpr double kFloodTarget = 0.9;      // relay throughput / one-write-per-sentence
inline constexpr double kSwitchesTarget = 2.0;   // relay context switches per paced sentence
inline constexpr double kLatencyTargetMs = 1.0;  // 99th percentile, next '$' to held sentence
inline constexpr long kIdleWakeUpsTarget = 0;    // relay wake-ups during silence

inline const char* Verdict(bool met)
{
    return met ? "PASS" : "MISS";
}
