#include "relay/run_ends.h"

#include <cstring>

#include "ports/gate_channel.h"
#include "ports/serial_port.h"
#include "relay/relay_state.h"

int OpenOutputEnd(const char* outputName, int baud)
{
    if (std::strstr(outputName, kGateOutputName)) return StartGateChannel(relayState.gateChannel);
    relayState.outputPort = OpenSerialPort(outputName, baud);
    return relayState.outputPort != INVALID_HANDLE_VALUE;
}

void CloseRunEnds()
{
    CloseSerialPort(relayState.inputPort);
    CloseSerialPort(relayState.outputPort);
    StopGateChannel(relayState.gateChannel);
}
