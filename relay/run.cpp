#include "relay/run.h"

#include "ports/serial_port.h"
#include "relay/relay_state.h"
#include "relay/relay_thread.h"
#include "relay/run_ends.h"

int StartRun(const char* inputName, const char* outputName, int baud,
             const SentenceSelection& selection)
{
    // A second start would rewrite the selection under the running relay and could only fail
    // to open the port that the run holds.
    if (RunIsHeld()) return 0;
    relayState.selection = selection;
    relayState.inputPort = OpenSerialPort(inputName, baud);
    // StartRelayThread() clears stopRequested just before the thread exists.
    if (relayState.inputPort == INVALID_HANDLE_VALUE || !OpenOutputEnd(outputName, baud) ||
        !StartRelayThread()) {
        CloseRunEnds();
        return 0;
    }
    return 1;
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
