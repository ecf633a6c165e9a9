// What the relay must write for a given input stream, worked out from the rules alone and
// written independently of the relay's own code:
//  - a sentence is the run from one '$' up to the next '$'; the last one (no '$' behind it yet)
//    and anything before the first '$' are not written;
//  - a sentence of 4095 bytes or more (more than the receive buffer holds) is dropped whole;
//  - a sentence beginning with the tag of a deselected type is dropped;
//  - a sentence beginning "$GPVTG,," is replaced by the fixed VTG sentence;
//  - everything else is written exactly as it came.
#pragma once

#include <string>

#include "relay/relay_state.h"

std::string ExpectedRelayOutput(const std::string& input, const SentenceSelection& selection);

// Reads a file whole, bytes unchanged. Throws when it cannot.
std::string ReadWholeFile(const std::string& path);

// A capture from tests/data/nmea by file name.
std::string ReadCapture(const std::string& name);
