// The process-wide state of the relay, shared by the dialog's thread and the relay thread.
//
// A run (relay/run.h) sets everything here before it starts the relay thread, which chooses
// writeOutput, and changes none of it during the run (the dialog's setting controls are disabled
// then); stopRequested is the one field that both threads write. The relay thread borrows the ports
// and the channel and never closes them: their owner closes them after the relay thread has ended.
#pragma once

#include <atomic>
#include <cstddef>
#include <thread>

#include "ports/port_handle.h"
#include "relay/sentence_types.h"

namespace GateApi {
class Simple;
}

// The relay thread of the current run and the two descriptors it is steered by: `wakeFd`
// (an eventfd) becomes readable when a stop is requested and stays so until the thread is
// released, ending its wait for input (closing the port would not) and any wait of a write for
// room; `endedFd` (an eventfd) becomes readable once the thread has left its loop.
struct RelayThreadHandle {
    std::thread thread;
    int wakeFd = -1;
    int endedFd = -1;
};

struct RelayState {
    // Starts set: no relay runs until a start clears it.
    std::atomic<bool> stopRequested{true};
    PortHandle inputPort = INVALID_HANDLE_VALUE;
    PortHandle outputPort = INVALID_HANDLE_VALUE;
    GateApi::Simple* gateChannel = nullptr;
    // Writes one sentence's bytes to the run's output end; chosen once as a run starts.
    void (*writeOutput)(const char* bytes, std::size_t count) = nullptr;
    SentenceSelection selection;
    RelayThreadHandle relayThread;
};

extern RelayState relayState;  // with the run, in relay/run.cpp
