// The two ends of a run as its owner opens and closes them: the output text picks the GPS
// service channel when it contains kGateOutputName (as typed, anywhere in it) and a serial port
// otherwise. Both land in relayState, where the relay thread finds them.
#pragma once

// 1 when the output end is open; 0 after the port or channel code has shown why not. Either
// way, CloseRunEnds() afterwards releases what was opened.
int OpenOutputEnd(const char* outputName, int baud);

// Closes both ports and stops the channel, whichever are open. Only once the relay thread has
// ended: it borrows the ports and the channel until then.
void CloseRunEnds();
