// One command on gpsd's control socket, the way gpsd's own tools send it: connect, send one
// line, shut the sending side, read the reply to its end. gpsd reads a control connection until
// it ends and serves nobody meanwhile, so a connection is never held open.
//
// The whole exchange (connect, sending and the whole reply) has one deadline on the monotonic
// clock: a peer that never answers, trickles or floods is cut off there, or as soon as its
// reply outgrows what any gpsd sends. Before a byte is sent, the kernel's record of who serves
// the socket (SO_PEERCRED) must name a trusted owner.
//
// The steps never block, so the relay thread can ask gpsd between two sentences and look for the
// answer at later ones; FinishGpsdExchange waits for it in poll() instead, for the dialog's
// thread and the source's guardian. Nothing here allocates, and only calls that are safe in a
// child forked from a threaded program are made.
#pragma once

#include <sys/types.h>
#include <sys/un.h>

#include <cstddef>

#include "platform/gpsd/gpsd_control.h"
#include "platform/io/unique_fd.h"

// Room for any reply gpsd sends: its source list (up to 6 slots of 128 bytes in 3.25) and a
// status line, with room to spare.
inline constexpr std::size_t kGpsdReplySize = 2048;

enum class GpsdExchangeState {
    kPending,      // not answered yet, within the deadline
    kAnswered,     // `reply` holds the whole reply (to be read with ParseGpsdReply)
    kUnreachable,  // nothing reached gpsd; `error` says why the connect failed
    kUntrusted,    // the socket's server is `serverUid`, no owner of a gpsd; nothing was sent
    kNoAnswer,     // the command may have reached gpsd, but no whole reply came: `error` is
                   // ETIMEDOUT, EBADMSG (longer than any reply of gpsd's) or the system's
};

struct GpsdExchange {
    sockaddr_un address{};
    char command[64] = {};
    std::size_t commandLength = 0;
    std::size_t sentLength = 0;
    UniqueFd fd;
    bool connected = false;
    long long deadline = 0;
    GpsdOwners owners{};
    pid_t serverPid = 0;
    uid_t serverUid = 0;
    int error = 0;
    std::size_t length = 0;
    char reply[kGpsdReplySize];  // 0-terminated once answered
};

// Starts `command` (one line, '\n' included, under 64 bytes) to the socket at `socketPath`,
// to be answered by `deadline` (MonotonicMilliseconds()). A full listen queue is tried again
// at the next step.
GpsdExchangeState BeginGpsdExchange(GpsdExchange& exchange, const char* socketPath,
                                    const char* command, const GpsdOwners& owners,
                                    long long deadline);

// Takes the next steps that can be taken now, without waiting.
GpsdExchangeState ContinueGpsdExchange(GpsdExchange& exchange);

// Waits in poll() for the rest of the exchange, until the deadline at the latest, or until
// `stopFd` (if not -1) is readable: then ECANCELED (kUnreachable while not yet connected,
// kNoAnswer after).
GpsdExchangeState FinishGpsdExchange(GpsdExchange& exchange, int stopFd = -1);

// Ends an exchange still under way; its descriptor is closed.
void AbandonGpsdExchange(GpsdExchange& exchange);
