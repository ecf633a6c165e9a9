// How long a held sentence waits once the next one is written, and whether the relay thread
// stays asleep while the receiver is silent. The one-write-per-sentence loop is timed over the
// same kind of hops, sample by sample in turn with the relay, so that a slow spell of the machine
// shows in both and can be told apart from a slow relay.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "relay/relay_state.h"

// A sentence that the relay passes on, and what it makes of it.
struct HeldSentence {
    std::string_view sentence;
    std::string output;
};

// The corpus's first `count` sentences that give a sample (the deselected ones give no
// output), in order.
std::vector<HeldSentence> SentencesWithOutput(std::string_view corpus,
                                              const SentenceSelection& selection, int count);

// Sleeps in the kernel for `seconds`.
void SleepSeconds(double seconds);

struct Latencies {
    double median = 0, p99 = 0, max = 0;  // ms
};

Latencies SummarizeLatencies(std::vector<double> ms);

// "  NAME  median .., p99 .., max .., output exact|WRONG", without a line end.
void PrintLatencies(const char* name, const Latencies& l, bool correct);

struct LatencyFigures {
    bool correct = false;  // every output was what the rules give
    Latencies relay;
};

// `samples` latencies of each, then `idleSeconds` of silence on the same relay.
LatencyFigures RunLatencyAndIdleBench(const std::string& corpus, const SentenceSelection& selection,
                                      int samples, double idleSeconds);
