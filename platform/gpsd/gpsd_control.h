// gpsd's control socket: where it is, and whose it may be.
//
// gpsd's own tools find it at $GPSD_SOCKET, else /run/gpsd.sock for root and /tmp/gpsd.sock for
// other users. Anyone may create /tmp/gpsd.sock where no gpsd holds it, and whoever serves that
// socket learns where the receiver's sentences are to be had. So a socket is only told anything
// when the kernel says its server is gpsd's kind of owner: root (a gpsd started by root, or
// systemd holding the socket for a socket-activated gpsd), the system's gpsd account, or the
// user themself.
#pragma once

#include <sys/types.h>

#include <cstddef>

// How long one exchange may take, from connect to the end of the reply, and how long all the
// exchanges of a start may take together. Long enough for a socket-activated gpsd to start up,
// short enough for a Start or Stop the user waits on.
inline constexpr int kGpsdControlTimeoutMs = 2000;
inline constexpr int kGpsdStartTimeoutMs = 2500;

// The socket path by gpsd's convention, copied into `path` (`size` bytes). False with errno
// ENAMETOOLONG when it does not fit there or in a Unix socket address.
bool GpsdControlSocketPath(char* path, std::size_t size);

struct GpsdOwners {
    uid_t self;
    uid_t gpsdAccount;  // the system's gpsd user ("gpsd" on Debian), or (uid_t)-1 without one
};

// Looks the gpsd account up (through NSS, which may ask the network): never on the relay thread.
GpsdOwners TrustedGpsdOwners();

bool IsTrustedGpsdOwner(const GpsdOwners& owners, uid_t uid);
