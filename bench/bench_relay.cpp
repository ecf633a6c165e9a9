#include "bench/bench_relay.h"

#include <stdexcept>

#include "ports/serial_port.h"
#include "relay/relay_thread.h"

BenchRelay::BenchRelay(const SentenceSelection& selection, int baud)
{
    relayState.selection = selection;
    relayState.inputPort = OpenSerialPort(input_.path.c_str(), baud);
    relayState.outputPort = OpenSerialPort(output_.path.c_str(), baud);
    const std::vector<pid_t> threadsBefore = ListThreads();
    if (relayState.inputPort == INVALID_HANDLE_VALUE ||
        relayState.outputPort == INVALID_HANDLE_VALUE || !StartRelayThread()) {
        Stop();
        throw std::runtime_error("the relay did not start");
    }
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
    StopRelay();
    CloseSerialPort(relayState.inputPort);
    CloseSerialPort(relayState.outputPort);
    relayState.selection = {};
    threadId_ = -1;
}
