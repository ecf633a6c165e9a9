// `relay_bench --relay`: the system's own port and relay code between two given ports, or from
// a port into the GPS service (an output text containing "GPSGate": gpsd, found as the
// program finds it), and nothing else, so that an outside harness can time it beside other
// tools. Both ends are opened at the start; the run lasts until the input hangs up (the relay
// then says "Read error" on standard error, where messages go here).
#pragma once

#include "bench/command_line.h"

// 0 when the run ended because the input hung up; 1 when a port or the channel did not open, the
// relay did not start, or the run ended for another reason (such as a write error, or SIGINT,
// SIGTERM or SIGHUP, which stop the relay and close both ends, taking the source out of gpsd).
int RunRelayMode(const RelayModeOptions& options);
