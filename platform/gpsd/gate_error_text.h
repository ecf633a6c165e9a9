// The texts that GateApi::Simple::GetLastError() hands out: plain English, at most 63 bytes, in
// the form "<what> <subject>: <reason>", e.g. "gpsd control socket /run/gpsd.sock: No such file
// or directory". A subject too long for the room (a deep socket path) loses its beginning to
// "...", so that what failed and why stay whole.
#pragma once

#include "platform/gpsd/gate_api_simple.h"

// Fills `text`; `subject` and `reason` may be empty, and then take no room.
void FormatGateErrorText(char (&text)[GateApi::kGateErrorTextSize], const char* what,
                         const char* subject, const char* reason);

// Copies `text` into `buffer` (`size` bytes) with its 0 byte, cut where a character begins;
// the number of bytes copied before the 0 byte.
int CopyGateErrorText(const char* text, char* buffer, int size);

// The system's English description of `error`, independent of the locale; safe in any thread.
const char* SystemReason(int error);
