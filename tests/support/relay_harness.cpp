#include "tests/support/relay_harness.h"

#include <poll.h>

#include <thread>
#include <vector>

#include "ports/gate_channel.h"
#include "relay/relay_thread.h"
#include "relay/run.h"

RelayHarness::~RelayHarness()
{
    Stop();
}

int RelayHarness::Start(const SentenceSelection& selection, int baud)
{
    // ThreadSanitizer starts a helper thread along with the process's first thread; one thread
    // started and ended first keeps the relay's the only new one.
    static const bool helperStarted = (std::thread([] {}).join(), true);
    (void)helperStarted;
    const char* output =
        outputEnd_ == RelayOutput::kGpsd ? kGateOutputName : output_.Path().c_str();
    const std::vector<pid_t> before = ListThreads();
    const int started = StartRun(input_.Path().c_str(), output, baud, selection);
    relayThread_ = NewThreadSince(before);
    return started;
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
