// `relay_bench --soak`: the relay under a long flood, pty to pty and then pty into a private
// gpsd, with every output byte checked against the model as it arrives. Prints bytes lost and
// corrupted (target 0), resident size once the flood flows and at its end (target: no growth)
// and the relay thread's CPU seconds per MB. Exits 1 when anything was lost or corrupted.
#pragma once

#include "bench/command_line.h"

int RunSoak(const SoakSettings& settings);
