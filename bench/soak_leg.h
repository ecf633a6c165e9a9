// One leg of the soak: a SoakStream of `sentences` sentences fed flat out into a relay (from a
// thread of its own, ending with a lone '$' so that the last sentence is passed on too), and
// the relay's output checked against the model as it arrives: read from the output pty, or
// reported by gpsd to a raw NMEA watch read on a thread of its own.
#pragma once

#include "bench/output_check.h"

class PrivateGpsd;

struct LegFigures {
    SentenceBytes input;  // fed into the relay
    SentenceBytes expected, delivered, lost, corrupted;
    long rssFlowingKiB = -1;  // once the first 10% of the input has been fed
    long rssEndKiB = -1;      // with everything checked, the relay still running
    double seconds = 0;       // from the first write until the last expected sentence arrived
    double relayCpuMs = 0;
    double gpsdCpuMs = -1;      // the gpsd leg only
    bool watchDropped = false;  // gpsd closed the raw NMEA watch
};

// `gpsd` is the gpsd to relay into (RelayOutput::kGpsd), else nullptr. Throws
// std::runtime_error when the relay or the watch cannot start.
LegFigures RunSoakLeg(long long sentences, const SentenceSelection& selection,
                      const PrivateGpsd* gpsd);
