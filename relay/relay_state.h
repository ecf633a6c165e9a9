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

namespace GateApi {
class Simple;
}

// Which sentence types are sent on: 1 sends, 0 drops. MSS alone starts deselected.
struct SentenceSelection {
    int gga = 1;
    int vtg = 1;
    int rmc = 1;
    int gll = 1;
    int gsa = 1;
    int gsv = 1;
    int mss = 0;
};

// The relay thread of the current run and the two descriptors it is steered by: `wakeFd`
// (an eventfd) ends its wait when a stop is requested, since closing the port would not;
// `endedFd` (an eventfd) becomes readable once the thread has left its loop.
struct RelayThreadHandle {
    std::thread thread;
    int wakeFd = -1;
    int endedFd = -1;
};

struct RelayState {
    RelayState();  // measures fixedVtgLength, before anything else of the program runs

    std::atomic<bool> stopRequested{true};
    PortHandle inputPort = INVALID_HANDLE_VALUE;
    PortHandle outputPort = INVALID_HANDLE_VALUE;
    GateApi::Simple* gateChannel = nullptr;
    SentenceSelection selection;
    std::size_t fixedVtgLength = 0;
    RelayThreadHandle relayThread;
};

extern RelayState relayState;
