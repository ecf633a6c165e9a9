// The flood: the corpus pushed through two pty hops as fast as they take it, by the relay and
// by the two baseline loops in turn (interleaved over the rounds, so that a slow spell of the
// machine hits all three alike), each output checked byte for byte. Prints throughput, the
// middle thread's CPU per MiB, the relay's ratios to the baselines, and the resident size
// before and after the relay's floods.
#pragma once

#include <string>

#include "relay/relay_state.h"

struct FloodFigures {
    bool correct = false;          // every output was what the rules give
    double relayMiBPerSecond = 0;  // median over the rounds
};

FloodFigures RunFloodBench(const std::string& corpus, const std::string& expected,
                           const SentenceSelection& selection, int rounds);
