#include "platform/gpsd/gpsd_control.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "platform/io/fd_io.h"
#include "platform/io/unique_fd.h"

namespace {

constexpr char kOk[] = "OK\n";
constexpr char kError[] = "ERROR\n";

bool EndsWith(const char* text, std::size_t length, const char* tail)
{
    const std::size_t tailLength = std::strlen(tail);
    return length >= tailLength && std::memcmp(text + length - tailLength, tail, tailLength) == 0;
}

// A blocking connect that gives up after `timeoutMs`: a Unix socket whose listener does not
// accept (a frozen gpsd with a full backlog) would otherwise block forever. Linux bounds the
// wait for a Unix stream connect by the send time-out.
UniqueFd ConnectWithin(const char* socketPath, int timeoutMs)
{
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, socketPath, std::strlen(socketPath) + 1);
    UniqueFd fd{::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0)};
    if (!fd) return {};
    const timeval limit{timeoutMs / 1000, (timeoutMs % 1000) * 1000};
    setsockopt(fd.get(), SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
    int result;
    do {
        result = ::connect(fd.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address);
    } while (result != 0 && errno == EINTR);
    if (result != 0) return {};
    // From here every wait is a poll() against the deadline.
    fcntl(fd.get(), F_SETFL, fcntl(fd.get(), F_GETFL) | O_NONBLOCK);
    return fd;
}

// Reads to the end of the reply, keeping what fits. False with errno when the time runs out.
bool ReadReplyWithin(int fd, char (&reply)[kGpsdReplySize], std::size_t& length, long long deadline)
{
    char discard[256];
    for (;;) {
        const long long remaining = deadline - MonotonicMilliseconds();
        pollfd ready{fd, POLLIN, 0};
        const int polled = PollRetrying(&ready, 1, remaining > 0 ? static_cast<int>(remaining) : 0);
        if (polled < 0) return false;
        if (polled == 0) {
            errno = ETIMEDOUT;
            return false;
        }
        const std::size_t room = sizeof reply - 1 - length;
        char* into = room > 0 ? reply + length : discard;
        const ssize_t count = ReadRetrying(fd, into, room > 0 ? room : sizeof discard);
        if (count < 0) return false;
        if (count == 0) return true;
        if (room > 0) length += static_cast<std::size_t>(count);
    }
}

}  // namespace

bool GpsdControlSocketPath(char* path, std::size_t size)
{
    const char* chosen = std::getenv("GPSD_SOCKET");
    if (!chosen || !*chosen) chosen = geteuid() == 0 ? "/run/gpsd.sock" : "/tmp/gpsd.sock";
    const std::size_t length = std::strlen(chosen);
    if (length >= size || length >= sizeof(sockaddr_un::sun_path)) {
        errno = ENAMETOOLONG;
        return false;
    }
    std::memcpy(path, chosen, length + 1);
    return true;
}

GpsdCommandResult SendGpsdCommand(const char* socketPath, const char* command,
                                  char (&reply)[kGpsdReplySize])
{
    reply[0] = '\0';
    const long long deadline = MonotonicMilliseconds() + kGpsdControlTimeoutMs;
    if (std::strlen(socketPath) >= sizeof(sockaddr_un::sun_path)) {
        errno = ENAMETOOLONG;
        return GpsdCommandResult::kUnreachable;
    }
    UniqueFd fd = ConnectWithin(socketPath, kGpsdControlTimeoutMs);
    if (!fd) return GpsdCommandResult::kUnreachable;
    const std::size_t commandLength = std::strlen(command);
    // A reply of its own only comes once gpsd has seen the end of the connection.
    if (!WriteAllWithin(fd.get(), command, commandLength, kGpsdControlTimeoutMs,
                        WriteTarget::kSocket) ||
        ::shutdown(fd.get(), SHUT_WR) != 0)
        return GpsdCommandResult::kNoAnswer;
    std::size_t length = 0;
    const bool ended = ReadReplyWithin(fd.get(), reply, length, deadline);
    reply[length] = '\0';
    if (!ended) return GpsdCommandResult::kNoAnswer;
    if (!EndsWith(reply, length, kOk) && !EndsWith(reply, length, kError)) {
        errno = EBADMSG;
        return GpsdCommandResult::kNoAnswer;
    }
    return GpsdCommandResult::kAnswered;
}

bool GpsdReplyIsOk(const char* reply)
{
    return EndsWith(reply, std::strlen(reply), kOk);
}
