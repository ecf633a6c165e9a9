// The GPS service channel as the relay's output end, into a private gpsd started here: the
// corpus flooded through it (sentences per second into gpsd, every one checked as gpsd reports
// it to a raw NMEA watch), and the time from the next sentence's '$' to gpsd's report of the
// held one. Printed beside the pty-to-pty figures of the same run. Without gpsd installed the
// section says so and nothing else.
#pragma once

#include <string>

#include "bench/latency_bench.h"
#include "relay/relay_state.h"

struct PtyFigures {
    double sentencesPerSecond;  // the relay's flood, pty to pty
    Latencies latency;          // the relay's, pty to pty
};

// False when an output was wrong, or gpsd is installed but did not start.
bool RunGpsdChannelBench(const std::string& corpus, const SentenceSelection& selection,
                         int latencySamples, const PtyFigures& pty);
