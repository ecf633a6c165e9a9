#include "relay/forward_sentence.h"

#include <cstring>
#include <string_view>

#include "platform/gpsd/gate_api_simple.h"
#include "platform/window/message_box.h"
#include "ports/serial_port.h"
#include "relay/relay_state.h"

namespace {

struct FilterRow {
    std::string_view tag;
    int SentenceSelection::*flag;
};

// In the order the filter tests them.
constexpr FilterRow kFilterRows[] = {
    {"$GPGGA", &SentenceSelection::gga}, {"$GPVTG", &SentenceSelection::vtg},
    {"$GPRMC", &SentenceSelection::rmc}, {"$GPGLL", &SentenceSelection::gll},
    {"$GPGSA", &SentenceSelection::gsa}, {"$GPGSV", &SentenceSelection::gsv},
    {"$GPMSS", &SentenceSelection::mss},
};

// A VTG sentence whose first field (course over ground, true) is empty.
constexpr std::string_view kRepairTag = "$GPVTG,,";

// Searched by count, not as text: a 0 byte in the sentence must not hide a tag behind it.
// Every tag begins with '$', so it can only start at a '$': memchr finds those, and the tag is
// compared there. memmem would set up a shift table on every call, and this runs several times
// for every sentence.
bool Contains(const char* text, std::size_t length, std::string_view tag)
{
    const char* const end = text + length;
    for (const char* at = text;
         (at = static_cast<const char*>(std::memchr(at, '$', static_cast<std::size_t>(end - at))));
         ++at)
        if (static_cast<std::size_t>(end - at) >= tag.size() &&
            std::memcmp(at, tag.data(), tag.size()) == 0)
            return true;
    return false;
}

bool IsDeselected(const char* text, std::size_t length)
{
    for (const FilterRow& row : kFilterRows)
        if (relayState.selection.*row.flag == 0 && Contains(text, length, row.tag)) return true;
    return false;
}

void ReportWriteFailure(const char* text)
{
    ShowMessageBox(text);
    relayState.stopRequested.store(true);
}

// The channel's own text says what went wrong (which socket, and why).
void WriteToGateChannel(GateApi::Simple& channel, const char* bytes, std::size_t count)
{
    if (channel.Write(bytes, static_cast<int>(count))) return;
    char errorText[GateApi::kGateErrorTextSize];
    channel.GetLastError(errorText, sizeof errorText);
    ReportWriteFailure(errorText);
}

}  // namespace

void ForwardSentence(const char* text, std::size_t length)
{
    if (IsDeselected(text, length)) return;
    const char* bytes = text;
    std::size_t count = length;
    if (Contains(text, length, kRepairTag)) {
        bytes = kFixedVtgSentence;
        count = relayState.fixedVtgLength;
    }
    if (relayState.gateChannel) {
        WriteToGateChannel(*relayState.gateChannel, bytes, count);
        return;
    }
    if (!WriteSerialPort(relayState.outputPort, bytes, count)) ReportWriteFailure(kWriteErrorText);
}
