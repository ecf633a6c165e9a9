// Where a test gets a socket that listens as gpsd, a fake gpsd or another user's program would,
// and the addresses to listen or connect at: a loopback TCP address or a Unix socket path. Plain
// system calls only, so that a forked child may make one too.
#pragma once

#include <netinet/in.h>
#include <sys/un.h>

#include "platform/io/unique_fd.h"

// `ip` ("127.0.0.1") and `port`; port 0 lets Listen() choose one.
sockaddr_in TcpAddress(const char* ip, int port = 0);
sockaddr_un UnixAddress(const char* path);

// Listening at `address` with a queue `backlog` long, close-on-exec; a TCP address whose port
// was 0 gets the port it was given. Invalid when it cannot be had.
UniqueFd Listen(sockaddr_in& address, int backlog = 4);
UniqueFd Listen(const sockaddr_un& address, int backlog = 4);
