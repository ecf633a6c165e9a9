// `relay_bench --relay`: the system's own port and relay code between two given ports, and
// nothing else, so that an outside harness can time it beside other tools. Both ports are
// opened at the start; the run lasts until the input hangs up (the relay then says "Read error"
// on standard error, where messages go here).
#pragma once

#include "bench/command_line.h"

// 0 when the run ended because the input hung up; 1 when a port did not open, the relay did
// not start, or the run ended for another reason (such as a write error).
int RunRelayMode(const RelayModeOptions& options);
