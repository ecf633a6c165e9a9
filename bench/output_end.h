// Where a bench relay writes, chosen from an output text by the program's own rule: a text that
// contains "GPSGate" (as typed, anywhere in it) means the GPS service channel, anything else
// names a serial port. The end is opened into relayState, as a run opens it, so that the relay
// thread finds it there.
#pragma once

#include <string>

inline constexpr char kGateOutputName[] = "GPSGate";

bool NamesGateChannel(const std::string& output);

// 1 when the end is open; 0 after the port or channel code has shown why not. Either way,
// CloseOutputEnd() afterwards releases what was opened.
int OpenOutputEnd(const std::string& output, int baud);

// Closes the output port or stops the channel, whichever is open. Only once the relay thread
// has ended.
void CloseOutputEnd();
