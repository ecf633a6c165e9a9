// One input of gpsd as GateApi::Simple keeps it, and the steps that work on it: finding and
// asking gpsd, listening for gpsd's connection to the source, and sending into it.
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
#pragma once

#include <cstddef>

#include "platform/gpsd/gate_api_simple.h"
#include "platform/gpsd/gpsd_control.h"
#include "platform/io/unique_fd.h"

namespace GateApi {

// What is kept for gpsd's first connection: 5 s of a receiver at 57600 baud; later sentences
// are dropped. A new connection's socket buffers take this much at once.
inline constexpr std::size_t kHeldBytes = 32 * 1024;

struct GpsdInput {
    char controlPath[108] = {};  // as large as a Unix socket address holds
    char source[40] = {};        // "tcp://127.0.0.1:PORT"
    bool sourceSent = false;     // an add may have reached gpsd that no remove has taken back
    UniqueFd listener;
    UniqueFd stream;  // gpsd's connection, while it is reading
    long long nextLivenessCheck = 0;
    long long firstConnectionDeadline = 0;  // sentences are kept until then, or a connection
    std::size_t heldLength = 0;
    char held[kHeldBytes];  // sentences written before gpsd's first connection
    bool failed = false;    // a Write failed: every later one fails too, until Open/Close
    char lastError[kGateErrorTextSize] = "no failure";
};

void SetInputError(GpsdInput& input, const char* what, const char* subject, const char* reason);

// Finds gpsd's control socket once; false with the error text set.
bool ResolveControlPath(GpsdInput& input);

// One command; false with the error text set when gpsd gave no whole reply.
bool ExchangeWithGpsd(GpsdInput& input, const char* command, char (&reply)[kGpsdReplySize],
                      GpsdCommandResult& result);

// Listens on 127.0.0.1 at a free port and names the source after it; false with the error text.
bool ListenForGpsd(GpsdInput& input);

// Once gpsd has added the source: takes gpsd's connection if it has come, else keeps the
// sentences for it for a while.
void AwaitGpsdConnection(GpsdInput& input);

// Sends into gpsd's connection, or keeps or drops the bytes while there is none. False (error
// text set) when gpsd stopped taking data, or has gone or lost the source.
bool SendToGpsd(GpsdInput& input, const void* bytes, int count);

}  // namespace GateApi
