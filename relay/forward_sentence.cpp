#include "relay/forward_sentence.h"

#include <cerrno>
#include <cstring>
#include <string_view>

#include "platform/gpsd/gate_api_simple.h"
#include "platform/messages/message_box.h"
#include "ports/serial_port.h"
#include "relay/relay_state.h"
#include "relay/sentence_types.h"

namespace {

// A VTG sentence whose first field (course over ground, true) is empty.
constexpr std::string_view kRepairTag = "$GPVTG,,";

// Every sentence the relay thread hands on holds exactly one '$', at its first byte, so a tag
// can only stand there: one comparison per tag instead of a search through the sentence (which
// also keeps a 0 byte inside the sentence from mattering).
bool BeginsWith(const char* text, std::size_t length, std::string_view tag)
{
    return length >= tag.size() && std::memcmp(text, tag.data(), tag.size()) == 0;
}

bool IsDeselected(const char* text, std::size_t length)
{
    for (const SentenceType& type : kSentenceTypes)
        if (relayState.selection.*type.flag == 0 && BeginsWith(text, length, type.tag)) return true;
    return false;
}

void ReportWriteFailure(const char* text)
{
    ShowMessageBox(text);
    relayState.stopRequested.store(true);
}

// The channel's own text says what went wrong (which socket, and why). A write that a stop cut
// short is no failure to tell of, as for the serial port below.
void WriteToGateChannel(const char* bytes, std::size_t count)
{
    GateApi::Simple* channel = relayState.gateChannel;
    if (channel->Write(bytes, static_cast<int>(count), relayState.relayThread.wakeFd) ||
        errno == ECANCELED)
        return;
    char errorText[GateApi::kGateErrorTextSize];
    channel->GetLastError(errorText, sizeof errorText);
    ReportWriteFailure(errorText);
}

// The wake descriptor turns readable at a stop, so a write waiting for room ends then
// (ECANCELED): the run is ending anyway, and the user has nothing to be told.
void WriteToOutputPort(const char* bytes, std::size_t count)
{
    if (!WriteSerialPort(relayState.outputPort, bytes, count, relayState.relayThread.wakeFd) &&
        errno != ECANCELED)
        ReportWriteFailure(kWriteErrorText);
}

}  // namespace

void ForwardSentence(const char* text, std::size_t length)
{
    if (IsDeselected(text, length)) return;
    const bool repaired = BeginsWith(text, length, kRepairTag);
    relayState.writeOutput(repaired ? kFixedVtgSentence : text,
                           repaired ? kFixedVtgLength : length);
}

void ChooseOutputEnd()
{
    relayState.writeOutput = relayState.gateChannel ? WriteToGateChannel : WriteToOutputPort;
}
