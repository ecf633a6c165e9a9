// The output channel into the machine's GPS service: one GateApi::Simple object, held in the
// slot the caller passes (the relay's gateChannel), feeding the service's input "_input".
#pragma once

namespace GateApi {
class Simple;
}

inline constexpr char kGateInputName[] = "_input";
// The output text that selects this channel, wherever it stands in the text.
inline constexpr char kGateOutputName[] = "GPSGate";
inline constexpr char kStartGateFailedText[] = "Unable to start GPSGate";

// Creates the object in `gateChannel`, makes sure the service runs and opens the input.
// 1 on success; 0 after the user has been told, the object left in `gateChannel` until
// StopGateChannel().
int StartGateChannel(GateApi::Simple*& gateChannel);

// Closes and frees the object in `gateChannel`, if any, and empties the slot.
void StopGateChannel(GateApi::Simple*& gateChannel);
