// The system's own rules for one sentence: drop the deselected types, replace every VTG
// sentence with an empty course field by one fixed, well-formed VTG sentence, and write the rest
// byte for byte to the output end that the run chose. Runs on the relay thread only.
#pragma once

#include <cstddef>

// Zero speed, empty course fields, correct checksum; 28 characters and CR LF.
inline constexpr char kFixedVtgSentence[] = "$GPVTG,,T,,M,0.00,N,0.0,K*7E\r\n";
inline constexpr std::size_t kFixedVtgLength = sizeof kFixedVtgSentence - 1;

inline constexpr char kWriteErrorText[] = "Write error";

// `text` holds `length` bytes with a 0 byte behind them and begins with its only '$', as the
// relay thread cuts sentences; 0 bytes inside are data like any other. A failed write is shown
// to the user once and sets stopRequested; a write that a stop cut short shows nothing.
void ForwardSentence(const char* text, std::size_t length);

// Points ForwardSentence at the output end now in relayState, once for a run (the relay thread
// does so as it starts): the GPS service channel when one is open, else the output port.
void ChooseOutputEnd();
