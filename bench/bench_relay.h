// One relay run set up as the program sets it up: two pty hops, both ports opened by the port
// code, the selection stored in relayState, the relay thread started. The bench plays the
// receiver on InputMaster() and the reading program on OutputMaster(), and watches the relay
// thread through its thread id. With RelayOutput::kGpsd the output end is the GPS service
// channel instead (gpsd found as the program finds it; OutputMaster() then has no reader).
#pragma once

#include <sys/types.h>

#include "relay/relay_state.h"
#include "tests/support/pty_pair.h"
#include "tests/support/thread_usage.h"

enum class RelayOutput { kPty, kGpsd };

class BenchRelay {
public:
    // Throws std::runtime_error when the relay cannot start (the port or channel code has said
    // why).
    BenchRelay(const SentenceSelection& selection, int baud,
               RelayOutput output = RelayOutput::kPty);
    ~BenchRelay();  // Stop()
    BenchRelay(const BenchRelay&) = delete;
    BenchRelay& operator=(const BenchRelay&) = delete;

    int InputMaster() const { return input_.Master(); }
    int OutputMaster() const { return output_.Master(); }
    ThreadUsage Usage() const { return ReadThreadUsage(threadId_); }

    // Stops the relay as the run control does, then closes both ends.
    void Stop();

private:
    PtyPair input_;
    PtyPair output_;
    pid_t threadId_ = -1;
};
