// A whole relay between two pseudo-terminals, set up as a run would: both ports opened by the
// program's own port code, the selection stored, the relay thread started. The test plays the
// receiver on input() and the reading program on output().
#pragma once

#include <memory>

#include "relay/relay_state.h"
#include "tests/support/pty_pair.h"

class RelayHarness {
public:
    RelayHarness();
    ~RelayHarness();  // stops the relay if it still runs and closes both ports

    PtyPair& input() { return *input_; }
    PtyPair& output() { return *output_; }

    // 1 when both ports opened and the relay thread runs.
    int Start(const SentenceSelection& selection = {}, int baud = 4800);
    // Stop as the run control does: request, wait for the thread, then close the ports.
    void Stop();
    // True once the relay thread has left its loop (within `timeoutMs`).
    bool WaitUntilEnded(int timeoutMs);

private:
    std::unique_ptr<PtyPair> input_ = std::make_unique<PtyPair>();
    std::unique_ptr<PtyPair> output_ = std::make_unique<PtyPair>();
};
