#include "bench/bench_relay.h"

#include <stdexcept>
#include <thread>

#include "ports/gate_channel.h"
#include "relay/run.h"

BenchRelay::BenchRelay(const SentenceSelection& selection, int baud, RelayOutput output)
{
    // ThreadSanitizer starts a helper thread along with the process's first thread; one thread
    // started and ended first keeps the relay's the only new one.
    static const bool helpersStarted = [] {
        std::thread([] {}).join();
        return true;
    }();
    (void)helpersStarted;
    const std::vector<pid_t> threadsBefore = ListThreads();
    const char* outputName =
        output == RelayOutput::kGpsd ? kGateOutputName : output_.Path().c_str();
    if (!StartRun(input_.Path().c_str(), outputName, baud, selection))
        throw std::runtime_error("the relay did not start");
    threadId_ = NewThreadSince(threadsBefore);
    if (threadId_ < 0) {
        Stop();
        throw std::runtime_error("the relay thread was not found in /proc/self/task");
    }
}

BenchRelay::~BenchRelay()
{
    Stop();
}

void BenchRelay::Stop()
{
    StopRun();
    threadId_ = -1;
}
