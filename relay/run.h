// A run: the relay between two ends, from its start to its stop. Every run starts and stops
// here: the dialog's Start and Stop (ui/monitoring.cpp), the tests' and the benchmark's relay
// harness (tests/support/relay_harness.h), relay_bench --relay and the UART guest.
//
// StartRun opens the input port, then the output end: the GPS service channel when the output
// text contains kGateOutputName (as typed, anywhere in it), a serial port otherwise. It stores
// the selection and starts the relay thread. StopRun
// wakes the relay, waits for its end and only then closes both ends: the relay thread borrows
// them until it has ended.
#pragma once

struct SentenceSelection;

// 1 when the run has started. 0 after the failing step has told the user, with everything the
// start opened closed again; also 0, silently, while a run is held (a Start during a run
// changes nothing of it). The selection is stored first, also by a start that then fails.
int StartRun(const char* inputName, const char* outputName, int baud,
             const SentenceSelection& selection);

// How StopRun waits for the relay thread, given the descriptor that turns readable once it has
// left its loop (-1 when no relay thread exists): a GUI keeps its event loop running, so that a
// box the relay shows can still be answered.
using RunEndWait = void (*)(int relayEnded);

// Ends the run: requests the stop, waits with `waitForEnd` (nullptr: in the kernel), joins the
// relay thread, then closes the ports and the channel. Does no harm when nothing is held.
void StopRun(RunEndWait waitForEnd = nullptr);

// True while ports, the channel or the relay thread are held: by a run, or by one that a write
// or read failure ended and that waits for StopRun().
bool RunIsHeld();
