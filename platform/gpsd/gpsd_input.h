// One input of gpsd as GateApi::Simple keeps it, and the steps that work on it: finding and
// asking gpsd, listening for gpsd's connection to the source, and sending into it.
//
// The source is a TCP listener of ours on kGpsdInputAddress, an address of the loopback block
// (Linux routes all of 127.0.0.0/8 to the loopback interface) that only this program uses: its
// sources in gpsd's list ("tcp://127.113.110.120:PORT") are recognisable as ours without a file,
// and a start removes those whose program has gone without taking them back (killed, crashed),
// so they cannot fill gpsd's slots. Only gpsd's own connection becomes the stream (see
// gpsd_peer.h); any other is closed before a byte is sent.
//
// gpsd opens its sources only while some client watches, and closes them again about a minute
// after the last one has left. So the data connection comes and goes while the source stays
// in gpsd's list: with no connection there is nobody to serve and a sentence is dropped, as
// gpsd itself drops a receiver's data then. A connection that ends is checked against gpsd's
// source list: a live gpsd still lists the source, a dead or restarted one does not.
//
// Right after the source is added, though, a missing connection may only be late. gpsd puts a
// new source in the first free slot and connects to a slot at most once in 2 s (counted in
// whole seconds, so up to 3 s), and only when something wakes it: a run started within that
// time of an earlier one's end would lose its first seconds. So until gpsd first connects, for
// a few seconds, the sentences are kept for it and gpsd is asked often, each question waking it.
//
// The relay thread never waits on the control socket: those questions are exchanges taken a
// step at each sentence (gpsd_exchange.h), and a gpsd that is slow to answer does not slow the
// relay down; one that gives no answer in time ends the run.
#pragma once

#include <cstddef>

#include "platform/gpsd/gate_api_simple.h"
#include "platform/gpsd/gpsd_exchange.h"
#include "platform/gpsd/gpsd_peer.h"
#include "platform/gpsd/gpsd_reply.h"
#include "platform/io/unique_fd.h"

namespace GateApi {

inline constexpr char kGpsdInputAddress[] = "127.113.110.120";  // "q", "n", "x"

// What is kept for gpsd's first connection: 5 s of a receiver at 57600 baud; later sentences
// are dropped. A new connection's socket buffers take this much at once.
inline constexpr std::size_t kHeldBytes = 32 * 1024;

struct GpsdInput {
    char controlPath[108] = {};  // as large as a Unix socket address holds
    GpsdIdentity gpsd;
    long long startDeadline = 0;  // all exchanges of a start end by then
    char source[48] = {};         // "tcp://127.113.110.120:PORT"
    bool sourceSent = false;      // an add may have reached gpsd that no remove has taken back
    UniqueFd listener;
    UniqueFd guardian;   // our end of the pair with the source's guardian (gpsd_guardian.h)
    UniqueFd stream;     // gpsd's connection, while it is reading
    GpsdExchange check;  // the relay's question whether gpsd still lists the source
    bool checking = false;
    long long nextCheck = 0;
    long long firstConnectionDeadline = 0;  // sentences are kept until then, or a connection
    std::size_t heldLength = 0;
    char held[kHeldBytes];  // sentences written before gpsd's first connection
    bool failed = false;    // a Write failed: every later one fails too, until Open/Close
    bool stopped = false;   // ... because the run's end cut its wait short
    char lastError[kGateErrorTextSize] = "no failure";
};

void SetInputError(GpsdInput& input, const char* what, const char* subject, const char* reason);

// Finds gpsd's control socket and whose sockets may be trusted; false with the error text set.
bool ResolveControlPath(GpsdInput& input);

// Sets the deadline for all exchanges of the start that begins now.
void BeginStart(GpsdInput& input);

// One command, answered within its bound and what is left of the start's. True when gpsd
// answered with a status line (`reply` says which, and for a question how long its list is);
// false with the error text set, and errno ECANCELED when the program was asked to end meanwhile.
bool AskGpsd(GpsdInput& input, const char* command, GpsdExchange& exchange, GpsdReply& reply);

// Removes the sources on our address, as listed in `devices` (an answer to "?devices"), that no
// socket of this user's listens for; every other source is left alone.
void RemoveUnservedSources(GpsdInput& input, const GpsdExchange& devices);

// Listens on kGpsdInputAddress at a free port and names the source after it; false with the
// error text.
bool ListenForGpsd(GpsdInput& input);

// Starts the guardian that takes the source out of gpsd should the program end without doing
// so; before the source is added. False with the error text.
bool GuardSource(GpsdInput& input);

// Once gpsd has added the source: takes gpsd's connection if it has come, else keeps the
// sentences for it for a while.
void AwaitGpsdConnection(GpsdInput& input);

// Takes gpsd's connection if it waits, and closes any other, a few at a time.
void AcceptWaiting(GpsdInput& input);

// Sends into gpsd's connection, or keeps or drops the bytes while there is none. False (error
// text set) when gpsd stopped taking data, or has gone or lost the source; false with `stopped`
// set when `stopFd` became readable while the write waited for gpsd.
bool SendToGpsd(GpsdInput& input, const void* bytes, int count, int stopFd);

// Gives the input up without waiting: our end closes and the guardian takes the source out of
// gpsd. For a run that a failure ended, which keeps the channel until Stop.
void WithdrawInput(GpsdInput& input);

// Has the source taken back from gpsd (by the guardian, within its bound) and closes our end.
void CloseInput(GpsdInput& input);

}  // namespace GateApi
