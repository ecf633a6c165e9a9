// The guardian of a source of ours in gpsd: a small process of its own that sees to it that the
// source never outlives the program, however the program ends (killed, crashed, or ended by Qt
// itself when its display or compositor goes away, where no handler of ours runs).
//
// It holds a duplicate of the source's listener, so that no other program can take the port
// while gpsd lists the source, and one end of a socket pair whose other end the program alone
// holds. Once that pair ends, because the program has gone or asks it to, or once a shutdown
// signal reaches the guardian itself, it takes the source out of gpsd through the control socket
// and only then lets the port go. It keeps nothing else open, leaves the terminal's session, and
// is started through a second fork, so it is never the program's child: whoever adopts it reaps
// it. It ends within seconds of its work, also when gpsd does not answer.
#pragma once

#include "platform/gpsd/gpsd_control.h"
#include "platform/io/unique_fd.h"

// How long the guardian keeps trying to take a source out of a gpsd that does not answer; it
// holds the port meanwhile.
inline constexpr int kGuardianRemoveMs = 4000;

// Starts the guardian of `source` ("tcp://..."), listened for on `listener`, in gpsd at
// `controlPath`. The program's end of the pair, or an invalid descriptor with errno set.
UniqueFd StartGpsdGuardian(int listener, const char* controlPath, const char* source,
                           const GpsdOwners& owners);

// The source never reached gpsd: the guardian ends without a word to gpsd.
void StandDownGpsdGuardian(UniqueFd& guardian);

// Asks the guardian to take the source out now; returns at once.
void ReleaseToGpsdGuardian(int guardian);

// After ReleaseToGpsdGuardian(): waits for the guardian's report that gpsd has been asked to
// take the source out, as long as one exchange with gpsd may take, and closes the pair. True
// when the guardian reported, or still tries (a gpsd slow to answer) and goes on by itself;
// false when it had gone without its report (killed).
bool AwaitGpsdGuardian(UniqueFd& guardian);
