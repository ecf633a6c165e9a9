// One relay run set up as the program sets it up: two pty hops, both ports opened by the port
// code, the selection stored in relayState, the relay thread started. The bench plays the
// receiver on InputMaster() and the reading program on OutputMaster(), and watches the relay
// thread through its thread id.
#pragma once

#include <sys/types.h>

#include "bench/pty_link.h"
#include "bench/thread_usage.h"
#include "relay/relay_state.h"

class BenchRelay {
public:
    // Throws std::runtime_error when the relay cannot start (the port code has said why).
    BenchRelay(const SentenceSelection& selection, int baud);
    ~BenchRelay();  // Stop()
    BenchRelay(const BenchRelay&) = delete;
    BenchRelay& operator=(const BenchRelay&) = delete;

    int InputMaster() const { return input_.master.get(); }
    int OutputMaster() const { return output_.master.get(); }
    ThreadUsage Usage() const { return ReadThreadUsage(threadId_); }

    // Stops the relay as the run control does, then closes both ports.
    void Stop();

private:
    PtyLink input_ = OpenPtyLink();
    PtyLink output_ = OpenPtyLink();
    pid_t threadId_ = -1;
};
