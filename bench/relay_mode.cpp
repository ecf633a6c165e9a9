#include "bench/relay_mode.h"

#include <poll.h>
#include <signal.h>
#include <sys/signalfd.h>

#include <atomic>
#include <cstdio>
#include <cstring>

#include "platform/io/fd_io.h"
#include "platform/io/unique_fd.h"
#include "platform/messages/message_box.h"
#include "ports/serial_port.h"
#include "relay/relay_state.h"
#include "relay/relay_thread.h"
#include "relay/run.h"

namespace {

// Anything but the input's hang-up ended the run early.
std::atomic<bool> failureShown{false};

void PrintAndNote(const char* caption, const char* text)
{
    std::fprintf(stderr, "%s: %s\n", caption, text);
    if (std::strcmp(text, kReadErrorText) != 0) failureShown.store(true);
}

// The signals that end a run as they end the program: Ctrl-C, a service manager's stop, the
// terminal or session going away. Blocked before the relay thread exists, so that it inherits
// the mask and they arrive only here, through a descriptor.
UniqueFd TakeEndingSignals()
{
    sigset_t ending;
    sigemptyset(&ending);
    sigaddset(&ending, SIGINT);
    sigaddset(&ending, SIGTERM);
    sigaddset(&ending, SIGHUP);
    pthread_sigmask(SIG_BLOCK, &ending, nullptr);
    return UniqueFd{signalfd(-1, &ending, SFD_CLOEXEC)};
}

// True when the relay ended on its own; false when a signal asked for the end.
bool WaitUntilRelayEnded(int signals)
{
    pollfd waits[2] = {{RelayEndedDescriptor(), POLLIN, 0}, {signals, POLLIN, 0}};
    PollRetrying(waits, signals >= 0 ? 2 : 1, -1);
    return waits[0].revents & POLLIN;
}

}  // namespace

int RunRelayMode(const RelayModeOptions& options)
{
    SetMessagePresenter(PrintAndNote);
    const UniqueFd signals = TakeEndingSignals();
    const bool ended =
        StartRun(options.input.c_str(), options.output.c_str(), options.baud, options.selection) &&
        WaitUntilRelayEnded(signals.get());
    // The input's end comes right after the last sentence went to the output; on a UART at a
    // low rate that sentence is still in the driver, which closing would drop.
    if (ended && relayState.outputPort != INVALID_HANDLE_VALUE)
        DrainSerialPort(relayState.outputPort);
    StopRun();  // the GPS service's source goes with the ends
    SetMessagePresenter(nullptr);
    return ended && !failureShown.load() ? 0 : 1;
}
