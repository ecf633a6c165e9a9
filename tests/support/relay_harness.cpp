#include "tests/support/relay_harness.h"

#include <poll.h>

#include "ports/gate_channel.h"
#include "relay/relay_thread.h"
#include "relay/run.h"

RelayHarness::~RelayHarness()
{
    Stop();
}

int RelayHarness::Start(const SentenceSelection& selection, int baud)
{
    const char* output =
        outputEnd_ == RelayOutput::kGpsd ? kGateOutputName : output_.Path().c_str();
    return StartRun(input_.Path().c_str(), output, baud, selection);
}

void RelayHarness::Stop()
{
    StopRun();
}

bool RelayHarness::WaitUntilEnded(std::chrono::milliseconds timeout)
{
    const int ended = RelayEndedDescriptor();
    if (ended < 0) return true;
    pollfd wait{ended, POLLIN, 0};
    return poll(&wait, 1, static_cast<int>(timeout.count())) == 1;
}
