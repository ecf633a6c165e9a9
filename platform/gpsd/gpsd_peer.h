// Who is at the other end of a connection, as the kernel keeps it: the only way to tell gpsd's
// connection to our loopback listener from another local program's, since anyone on the
// machine can see a new listener (/proc/net/tcp is world-readable) and connect to it first.
//
// gpsd is whatever process holds the listening end of its control socket: gpsd itself, and
// under socket activation also systemd, which made the socket and passed it on. A connection is
// gpsd's when its far end's socket is among those processes' descriptors. Where /proc does not
// show them to us (a user's program and the system's gpsd account), the kernel's owner of the
// far end's socket must be the control socket's server or the system's gpsd account.
#pragma once

#include <netinet/in.h>
#include <sys/types.h>

#include <cstddef>

#include "platform/gpsd/gpsd_control.h"

inline constexpr std::size_t kMaxGpsdProcesses = 8;

struct GpsdIdentity {
    uid_t serverUid = 0;  // who made the control socket listen (SO_PEERCRED)
    GpsdOwners owners{};
    pid_t processes[kMaxGpsdProcesses] = {};  // those of the holders /proc lets us look into
    std::size_t processCount = 0;
};

// Finds the processes holding the listening socket behind the socket file `controlPath`.
// Reads all of /proc once: for the dialog's thread, at the start of a run.
void FindGpsdProcesses(const char* controlPath, GpsdIdentity& gpsd);

// True when the far end of the connected TCP socket `fd` is gpsd's by the rule above: a socket
// some process still holds, in an established connection. Allocates nothing; safe on the relay
// thread.
bool IsGpsdConnection(int fd, const GpsdIdentity& gpsd);

// The owner of the socket listening where a connection to `address` (network order) and `port`
// would go, be it bound to that address or to all; false when nothing listens there.
bool FindListenerOwner(in_addr_t address, unsigned short port, uid_t& uid);
