#include "ports/gate_channel.h"

#include <new>

#include "platform/gpsd/gate_api_simple.h"
#include "platform/window/message_box.h"

int StartGateChannel(GateApi::Simple*& gateChannel)
{
    gateChannel = new (std::nothrow) GateApi::Simple;
    if (!gateChannel) {
        ShowMessageBox(kStartGateFailedText);
        return 0;
    }
    char errorText[GateApi::kGateErrorTextSize];
    if (!gateChannel->StartGpsGate()) {
        gateChannel->GetLastError(errorText, sizeof errorText);
        ShowMessageBox(errorText);
        return 0;  // the object stays in the slot until StopGateChannel()
    }
    if (!gateChannel->Open(kGateInputName)) {
        gateChannel->GetLastError(errorText, sizeof errorText);
        // Before the box, which may stay up a long time: gpsd is not left holding a source.
        gateChannel->Close();
        ShowMessageBox(errorText);
        return 0;
    }
    return 1;
}

void StopGateChannel(GateApi::Simple*& gateChannel)
{
    if (!gateChannel) return;
    gateChannel->Close();
    delete gateChannel;
    gateChannel = nullptr;
}
