// Driving the pseudo-terminal hops of a run (tests/support/pty_pair.h): the bench plays the
// receiver on the input hop's master and the reading program on the output hop's master;
// whatever sits in between (the relay or a baseline loop) opens the slaves by path, as it would
// open serial devices.
#pragma once

#include <cstddef>
#include <span>
#include <string>
#include <string_view>

#include "platform/io/unique_fd.h"
#include "tests/support/relay_harness.h"

// Starts `relay` for a figure. Throws std::runtime_error when it does not start (the port or
// channel code has said why) or its thread cannot be watched.
void StartMeasuredRelay(RelayHarness& relay, const SentenceSelection& selection, int baud);

// The slave opened the plain way (blocking, raw), as the baseline loops use it.
UniqueFd OpenSlave(const std::string& path);

// How the receiver's side writes: as fast as the pty takes it (baud 0), or at a line rate of
// `baud` (8N1: ten bits a byte) in pieces of `chunkBytes`, or a whole sentence at a time when
// `chunkBytes` is 0, each piece written when its last byte would have come off the wire.
struct Pace {
    int baud = 0;
    std::size_t chunkBytes = 0;
};

struct Transfer {
    bool complete = false;  // `into` was filled
    double seconds = 0;     // from the first write to the last byte read
};

// Writes `input` into `inputMaster` from a thread of its own while this thread fills `into` from
// `outputMaster`. Gives up once nothing has arrived for ten seconds.
Transfer FeedAndCollect(int inputMaster, int outputMaster, std::string_view input,
                        std::span<char> into, Pace pace = {});

// Fills `into` from `outputMaster`; false once nothing has arrived for ten seconds.
bool CollectInto(int outputMaster, std::span<char> into);

// True when nothing beyond what was collected is waiting at `outputMaster`.
bool NothingMoreArrived(int outputMaster);
