// Serial ports as the relay needs them: opened by name for this process alone, raw 8N1 at the
// chosen rate without flow control, reads that return at once with what has arrived, and writes
// that go out whole or fail after 1000 ms + 10 ms per byte.
//
// Failures are shown to the user here (through the message box) and the caller only unwinds.
#pragma once

#include <cstddef>

#include "ports/port_handle.h"

inline constexpr char kOpenPortFailedText[] = "Unable to open the port!";
inline constexpr char kConfigurePortFailedText[] = "Unable to configure the serial port!";
inline constexpr char kTimeoutsFailedText[] = "Unable to set the time-out parameters!";

// `name` as ResolvePortName() maps it. INVALID_HANDLE_VALUE after the user has been told.
PortHandle OpenSerialPort(const char* name, int baud);

// Closes `port` if it is open and marks it INVALID_HANDLE_VALUE. What the driver still holds
// unsent is dropped: a line that has not sent it by now has stalled.
void CloseSerialPort(PortHandle& port);

// Waits until the driver has sent what `port` holds, as long as the line keeps taking it: a
// queue that has not shrunk for 1000 ms counts as stalled, and the wait ends. For an end that
// comes right after the last write, not after Stop's pause.
void DrainSerialPort(PortHandle port);

// Writes the bytes whole within 1000 ms + 10 ms per byte: 1 on success, 0 on failure with
// errno set. A wait for room also ends, with ECANCELED, once `stopFd` (if not -1) is readable.
int WriteSerialPort(PortHandle port, const char* bytes, std::size_t count, int stopFd = -1);
