// A monitoring run: Start turns the dialog's settings into open ports (or the GPS service
// channel), a selection and a running relay thread, and gives the dialog its active look;
// Stop takes all of it down again and restores the idle look. GUI thread only.
#pragma once

struct Dialog;

inline constexpr char kActiveStatusText[] = "Überwachung ist aktiv";

// 1 when the run started. 0 after the failing step has told the user, with everything this
// start opened closed again; also 0, silently, while a run is held (Start during a run changes
// nothing of it).
int StartMonitoring(Dialog* dialog);

// Always 1. Wakes the relay, pauses a second, waits for the relay thread's end (answering any
// box it shows), then closes the ports and the channel and restores the idle look.
int StopMonitoring(Dialog* dialog);

// The baud field's text as a number, the way wcstol reads it on a 32-bit system: leading
// white space, an optional sign, decimal digits up to the first other character; no digits
// give 0, values beyond the 32-bit range the nearest limit.
int BaudFromText(const char* text);
