// The relay thread: waits for the receiver, reads what has arrived, cuts it into sentences and
// forwards each one, until a stop is requested, a write fails, or the receiver goes away.
//
// A run (relay/run.h) opens both ends and stores them in relayState, then StartRelayThread(). To
// end it: RequestRelayStop(), wait until RelayEndedDescriptor() is readable (a GUI keeps its
// event loop running meanwhile, so that a message box the relay raised can still be answered),
// ReleaseRelayThread(), and only then close the ports and the channel.
#pragma once

inline constexpr char kReadErrorText[] = "Read error";
inline constexpr char kCreateThreadFailedText[] = "Unable to create the read thread!";

// Clears stopRequested and starts the relay thread. 1, or 0 after "Unable to create the read
// thread!" with nothing left behind.
int StartRelayThread();

// Sets stopRequested and ends the relay thread's wait. Callable from any thread, also when no
// relay runs.
void RequestRelayStop();

// Readable once the relay thread has left its loop; -1 when no relay thread exists.
int RelayEndedDescriptor();

// Joins the relay thread once it has ended and frees its descriptors. Does nothing without one.
void ReleaseRelayThread();
