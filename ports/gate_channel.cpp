#include "ports/gate_channel.h"

#include <cerrno>
#include <new>

#include "platform/gpsd/gate_api_simple.h"
#include "platform/messages/message_box.h"

int StartGateChannel(GateApi::Simple*& gateChannel)
{
    gateChannel = new (std::nothrow) GateApi::Simple;
    if (!gateChannel) {
        ShowMessageBox(kStartGateFailedText);
        return 0;
    }
    // A start that the program's end cut short is no failure to tell of.
    char errorText[GateApi::kGateErrorTextSize];
    if (!gateChannel->StartGpsGate()) {
        if (errno == ECANCELED) return 0;
        gateChannel->GetLastError(errorText, sizeof errorText);
        ShowMessageBox(errorText);
        return 0;  // the object stays in the slot until StopGateChannel()
    }
    if (!gateChannel->Open(kGateInputName)) {
        const bool cancelled = errno == ECANCELED;
        gateChannel->GetLastError(errorText, sizeof errorText);
        // Before the box, which may stay up a long time: gpsd is not left holding a source.
        gateChannel->Close();
        if (!cancelled) ShowMessageBox(errorText);
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
