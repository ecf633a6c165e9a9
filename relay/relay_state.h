// The process-wide state of the relay, shared by the dialog's thread and the relay thread.
//
// The dialog's thread sets everything here before it starts the relay thread and changes none
// of it during a run (the setting controls are disabled then); stopRequested is the one field
// that both threads write. The relay thread borrows the ports and the channel and never closes
// them: their owner closes them after the relay thread has ended.
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

// Writes one sentence's bytes to the run's output end; chosen once as a run starts.
using OutputWriter = void (*)(const char* bytes, std::size_t count);

struct RelayState {
    // Starts set: no relay runs until a start clears it.
    std::atomic<bool> stopRequested{true};
    PortHandle inputPort = INVALID_HANDLE_VALUE;
    PortHandle outputPort = INVALID_HANDLE_VALUE;
    GateApi::Simple* gateChannel = nullptr;
    OutputWriter writeOutput = nullptr;
    SentenceSelection selection;
    RelayThreadHandle relayThread;
};

extern RelayState relayState;
