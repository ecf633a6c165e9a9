#include "bench/output_end.h"

#include "ports/gate_channel.h"
#include "ports/serial_port.h"
#include "relay/relay_state.h"

bool NamesGateChannel(const std::string& output)
{
    return output.find(kGateOutputName) != std::string::npos;
}

int OpenOutputEnd(const std::string& output, int baud)
{
    if (NamesGateChannel(output)) return StartGateChannel(relayState.gateChannel);
    relayState.outputPort = OpenSerialPort(output.c_str(), baud);
    return relayState.outputPort != INVALID_HANDLE_VALUE;
}

void CloseOutputEnd()
{
    StopGateChannel(relayState.gateChannel);
    CloseSerialPort(relayState.outputPort);
}
