#include "relay/run.h"

#include <cstring>

#include "ports/gate_channel.h"
#include "ports/serial_port.h"
#include "relay/relay_state.h"
#include "relay/relay_thread.h"

namespace {

// 1 when the output end is open; 0 after the port or channel code has shown why not.
int OpenOutputEnd(const char* outputName, int baud)
{
    if (std::strstr(outputName, kGateOutputName)) return StartGateChannel(relayState.gateChannel);
    relayState.outputPort = OpenSerialPort(outputName, baud);
    return relayState.outputPort != INVALID_HANDLE_VALUE;
}

// Whichever are open; also what a failed start opened.
void CloseRunEnds()
{
    CloseSerialPort(relayState.inputPort);
    CloseSerialPort(relayState.outputPort);
    StopGateChannel(relayState.gateChannel);
}

}  // namespace

RelayState relayState;

int StartRun(const char* inputName, const char* outputName, int baud,
             const SentenceSelection& selection)
{
    // A second start would rewrite the selection under the running relay and could only fail
    // to open the port that the run holds.
    if (RunIsHeld()) return 0;
    relayState.selection = selection;
    relayState.inputPort = OpenSerialPort(inputName, baud);
    // StartRelayThread() clears stopRequested just before the thread exists.
    if (relayState.inputPort != INVALID_HANDLE_VALUE && OpenOutputEnd(outputName, baud) &&
        StartRelayThread())
        return 1;
    CloseRunEnds();
    return 0;
}

void StopRun(RunEndWait waitForEnd)
{
    RequestRelayStop();
    if (waitForEnd) waitForEnd(RelayEndedDescriptor());
    ReleaseRelayThread();  // the join, once the thread has ended
    CloseRunEnds();
}

bool RunIsHeld()
{
    return RelayEndedDescriptor() >= 0 || relayState.inputPort != INVALID_HANDLE_VALUE ||
           relayState.outputPort != INVALID_HANDLE_VALUE || relayState.gateChannel != nullptr;
}
