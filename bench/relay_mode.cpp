#include "bench/relay_mode.h"

#include <poll.h>

#include <atomic>
#include <cstdio>
#include <cstring>

#include "platform/io/fd_io.h"
#include "platform/window/message_box.h"
#include "ports/serial_port.h"
#include "relay/relay_thread.h"
#include "relay/run_ends.h"

namespace {

// Anything but the input's hang-up ended the run early.
std::atomic<bool> failureShown{false};

void PrintAndNote(const char* caption, const char* text)
{
    std::fprintf(stderr, "%s: %s\n", caption, text);
    if (std::strcmp(text, kReadErrorText) != 0) failureShown.store(true);
}

void WaitUntilRelayEnded()
{
    pollfd ended{RelayEndedDescriptor(), POLLIN, 0};
    PollRetrying(&ended, 1, -1);
    ReleaseRelayThread();
}

}  // namespace

int RunRelayMode(const RelayModeOptions& options)
{
    SetMessagePresenter(PrintAndNote);
    relayState.selection = options.selection;
    relayState.inputPort = OpenSerialPort(options.input.c_str(), options.baud);
    const bool started = relayState.inputPort != INVALID_HANDLE_VALUE &&
                         OpenOutputEnd(options.output.c_str(), options.baud) && StartRelayThread();
    if (started) WaitUntilRelayEnded();
    CloseRunEnds();
    SetMessagePresenter(nullptr);
    return started && !failureShown.load() ? 0 : 1;
}
