// The relay at a receiver's pace rather than flat out: what each sentence costs the relay
// thread at 115200 baud.
#pragma once

#include <cstddef>
#include <string>

#include "relay/relay_state.h"

inline constexpr int kPacedBaud = 115200;

// `seconds` of the corpus at kPacedBaud, written in pieces of `chunkBytes` (0: whole
// sentences). Prints CPU and context switches per sentence; false when the output was wrong.
bool RunPacedBench(const std::string& corpus, const SentenceSelection& selection, double seconds,
                   std::size_t chunkBytes);
