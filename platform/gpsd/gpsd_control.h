// gpsd's control socket, the way gpsd's own tools use it: a Unix stream socket at $GPSD_SOCKET,
// else /run/gpsd.sock for root and /tmp/gpsd.sock for other users. Each command gets its own
// connection: connect, send one line, shut the sending side, read the reply to its end, close.
// gpsd reads a control connection until it ends and serves nobody meanwhile, so a connection
// is never held open; and every step here is bounded in time, so a frozen gpsd cannot hang us.
#pragma once

#include <cstddef>

// How long one command may take from connect to the end of the reply. Long enough for a
// socket-activated gpsd to start up, short enough for a Start or Stop the user waits on.
inline constexpr int kGpsdControlTimeoutMs = 2000;

// Room for the longest reply we ask for: the device list, at most 4 paths of 128 bytes.
inline constexpr std::size_t kGpsdReplySize = 1024;

// The socket path by gpsd's convention, copied into `path` (`size` bytes). False with errno
// ENAMETOOLONG when it does not fit there or in a Unix socket address.
bool GpsdControlSocketPath(char* path, std::size_t size);

enum class GpsdCommandResult {
    kAnswered,     // `reply` holds a whole reply: "OK\n" or "ERROR\n", maybe after a list
    kUnreachable,  // nothing got through to gpsd (errno: why the connect failed)
    kNoAnswer,     // the command may have reached gpsd, but no whole reply came back in time
                   // (errno: ETIMEDOUT, EBADMSG for a reply of the wrong form, or the system's)
};

// Sends `command` (one line, '\n' included) to the control socket at `socketPath`. The reply
// is stored NUL-terminated in `reply` (kGpsdReplySize bytes). Allocates nothing.
GpsdCommandResult SendGpsdCommand(const char* socketPath, const char* command,
                                  char (&reply)[kGpsdReplySize]);

// True when `reply` ends in "OK\n".
bool GpsdReplyIsOk(const char* reply);
