// Where a test or the benchmark gets a relay: a run of the program's own, started and stopped
// through relay/run.h as the dialog's Start and Stop do (without Stop's pause), between
// pseudo-terminals. The test plays the receiver on input() and the reading program on output();
// with RelayOutput::kGpsd the output end is the GPS service channel instead (gpsd found as the
// program finds it), and output() has no reader. The run's relay thread is watched through
// /proc, as the benchmark measures it.
#pragma once

#include <sys/types.h>

#include <chrono>

#include "relay/relay_state.h"
#include "tests/support/pty_pair.h"
#include "tests/support/thread_usage.h"

enum class RelayOutput { kPty, kGpsd };

class RelayHarness {
public:
    explicit RelayHarness(RelayOutput output = RelayOutput::kPty) : outputEnd_(output) {}
    ~RelayHarness();  // Stop()
    RelayHarness(const RelayHarness&) = delete;
    RelayHarness& operator=(const RelayHarness&) = delete;

    PtyPair& input() { return input_; }
    PtyPair& output() { return output_; }

    // 1 when the run started; 0 after the failing step's message.
    int Start(const SentenceSelection& selection = {}, int baud = 4800);
    // Stops the run as Stop does, waiting in the kernel: the thread's end, then both ends closed.
    void Stop();
    // True once the relay thread has left its loop (within `timeout`).
    bool WaitUntilEnded(std::chrono::milliseconds timeout);
    // The run's relay thread as /proc lists it; -1 when another thread started beside it.
    pid_t RelayThread() const { return relayThread_; }
    // What the run's relay thread has cost so far.
    ThreadUsage Usage() const { return ReadThreadUsage(relayThread_); }

private:
    RelayOutput outputEnd_;
    pid_t relayThread_ = -1;
    PtyPair input_;
    PtyPair output_;
};
