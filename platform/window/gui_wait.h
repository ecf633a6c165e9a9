// Waits on the GUI thread that keep its event loop running, so windows stay drawn and a message
// box that another thread raised can still be shown and answered meanwhile. Messages for a
// dialog procedure that arrive during a wait are held until the procedure returns.
#pragma once

// Returns once `fd` is readable (at once for -1).
void WaitForDescriptor(int fd);

// Returns after `milliseconds`.
void PauseMilliseconds(int milliseconds);
