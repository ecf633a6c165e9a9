#include "tests/support/relay_harness.h"

#include <poll.h>

#include "ports/serial_port.h"
#include "relay/relay_thread.h"
#include "relay/run_ends.h"

RelayHarness::RelayHarness() = default;

RelayHarness::~RelayHarness()
{
    Stop();
}

int RelayHarness::Start(const SentenceSelection& selection, int baud)
{
    relayState.selection = selection;
    relayState.inputPort = OpenSerialPort(input_->Path().c_str(), baud);
    relayState.outputPort = OpenSerialPort(output_->Path().c_str(), baud);
    if (relayState.inputPort == INVALID_HANDLE_VALUE ||
        relayState.outputPort == INVALID_HANDLE_VALUE || !StartRelayThread()) {
        Stop();
        return 0;
    }
    return 1;
}

void RelayHarness::Stop()
{
    StopRelay();
    CloseRunEnds();
    relayState.selection = {};
}

bool RelayHarness::WaitUntilEnded(int timeoutMs)
{
    const int ended = RelayEndedDescriptor();
    if (ended < 0) return true;
    pollfd wait{ended, POLLIN, 0};
    return poll(&wait, 1, timeoutMs) == 1;
}
