// How long a held sentence waits once the next one is written, and whether the relay thread
// stays asleep while the receiver is silent. The one-write-per-sentence loop is timed over the
// same kind of hops, sample by sample in turn with the relay, so that a slow spell of the machine
// shows in both and can be told apart from a slow relay.
#pragma once

#include <string>

#include "relay/relay_state.h"

// `samples` latencies of each, then `idleSeconds` of silence on the same relay. False when an
// output was wrong.
bool RunLatencyAndIdleBench(const std::string& corpus, const SentenceSelection& selection,
                            int samples, double idleSeconds);
