#include "platform/gpsd/gpsd_exchange.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "platform/io/fd_io.h"

namespace {

GpsdExchangeState Fail(GpsdExchange& exchange, GpsdExchangeState state, int error)
{
    exchange.fd.reset();
    exchange.error = error;
    return state;
}

int MillisecondsLeft(const GpsdExchange& exchange)
{
    const long long left = exchange.deadline - MonotonicMilliseconds();
    return left > 0 ? static_cast<int>(left) : 0;
}

// Connected: who made the socket listen, as the kernel keeps it. Nothing goes to a stranger.
GpsdExchangeState Connected(GpsdExchange& exchange)
{
    exchange.connected = true;
    ucred server{};
    socklen_t size = sizeof server;
    if (getsockopt(exchange.fd.get(), SOL_SOCKET, SO_PEERCRED, &server, &size) != 0)
        return Fail(exchange, GpsdExchangeState::kUnreachable, errno);
    exchange.serverPid = server.pid;
    exchange.serverUid = server.uid;
    if (!IsTrustedGpsdOwner(exchange.owners, server.uid))
        return Fail(exchange, GpsdExchangeState::kUntrusted, EPERM);
    return GpsdExchangeState::kPending;
}

GpsdExchangeState TryToConnect(GpsdExchange& exchange)
{
    int result;
    do {
        result = ::connect(exchange.fd.get(), reinterpret_cast<const sockaddr*>(&exchange.address),
                           sizeof exchange.address);
    } while (result != 0 && errno == EINTR);
    if (result == 0) return Connected(exchange);
    if (errno == EAGAIN) return GpsdExchangeState::kPending;  // the listen queue is full
    return Fail(exchange, GpsdExchangeState::kUnreachable, errno);
}

// Linux has nothing to wait on for room in a Unix socket's listen queue (a gpsd too busy to take
// connections fills it): a connect that finds it full is tried again after a sleep in poll(),
// which also watches `stopFd` so that the program's end cuts the wait short.
constexpr int kConnectRetryMs = 20;

GpsdExchangeState ConnectWaiting(GpsdExchange& exchange, int stopFd)
{
    for (;;) {
        const GpsdExchangeState state = TryToConnect(exchange);
        if (state != GpsdExchangeState::kPending || exchange.connected) return state;
        const int left = MillisecondsLeft(exchange);
        if (left == 0) return Fail(exchange, GpsdExchangeState::kUnreachable, ETIMEDOUT);
        pollfd stop{stopFd, POLLIN, 0};  // poll() passes over a descriptor of -1, and sleeps
        if (PollRetrying(&stop, 1, std::min(left, kConnectRetryMs)) > 0)
            return Fail(exchange, GpsdExchangeState::kUnreachable, ECANCELED);
    }
}

// Sends what is left of the command, then shuts the sending side: gpsd answers a control
// connection only once it has seen its end.
GpsdExchangeState Send(GpsdExchange& exchange)
{
    while (exchange.sentLength < exchange.commandLength) {
        const ssize_t sent =
            ::send(exchange.fd.get(), exchange.command + exchange.sentLength,
                   exchange.commandLength - exchange.sentLength, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (sent > 0) {
            exchange.sentLength += static_cast<std::size_t>(sent);
            if (exchange.sentLength == exchange.commandLength &&
                ::shutdown(exchange.fd.get(), SHUT_WR) != 0)
                return Fail(exchange, GpsdExchangeState::kNoAnswer, errno);
            continue;
        }
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) return GpsdExchangeState::kPending;
        return Fail(exchange, GpsdExchangeState::kNoAnswer, errno);
    }
    return GpsdExchangeState::kPending;
}

// Reads what has come; answered at the reply's end.
GpsdExchangeState Receive(GpsdExchange& exchange)
{
    for (;;) {
        const std::size_t room = sizeof exchange.reply - 1 - exchange.length;
        if (room == 0) return Fail(exchange, GpsdExchangeState::kNoAnswer, EBADMSG);
        const ssize_t count =
            ::recv(exchange.fd.get(), exchange.reply + exchange.length, room, MSG_DONTWAIT);
        if (count > 0) {
            exchange.length += static_cast<std::size_t>(count);
            continue;
        }
        if (count == 0) {
            exchange.reply[exchange.length] = '\0';
            exchange.fd.reset();
            return GpsdExchangeState::kAnswered;
        }
        if (errno == EINTR) continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK) return GpsdExchangeState::kPending;
        return Fail(exchange, GpsdExchangeState::kNoAnswer, errno);
    }
}

GpsdExchangeState Step(GpsdExchange& exchange)
{
    GpsdExchangeState state = GpsdExchangeState::kPending;
    if (!exchange.connected) state = TryToConnect(exchange);
    if (exchange.connected && state == GpsdExchangeState::kPending) state = Send(exchange);
    if (exchange.sentLength == exchange.commandLength && state == GpsdExchangeState::kPending)
        state = Receive(exchange);
    if (state == GpsdExchangeState::kPending && MillisecondsLeft(exchange) == 0)
        return Fail(
            exchange,
            exchange.connected ? GpsdExchangeState::kNoAnswer : GpsdExchangeState::kUnreachable,
            ETIMEDOUT);
    return state;
}

}  // namespace

GpsdExchangeState BeginGpsdExchange(GpsdExchange& exchange, const char* socketPath,
                                    const char* command, const GpsdOwners& owners,
                                    long long deadline)
{
    exchange.fd.reset();
    exchange.connected = false;
    exchange.sentLength = exchange.length = 0;
    exchange.reply[0] = '\0';
    exchange.error = 0;
    exchange.deadline = deadline;
    exchange.owners = owners;
    const std::size_t pathLength = std::strlen(socketPath);
    exchange.commandLength = std::strlen(command);
    if (pathLength >= sizeof exchange.address.sun_path ||
        exchange.commandLength >= sizeof exchange.command)
        return Fail(exchange, GpsdExchangeState::kUnreachable, ENAMETOOLONG);
    exchange.address = {};
    exchange.address.sun_family = AF_UNIX;
    std::memcpy(exchange.address.sun_path, socketPath, pathLength + 1);
    std::memcpy(exchange.command, command, exchange.commandLength + 1);

    exchange.fd.reset(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (!exchange.fd) return Fail(exchange, GpsdExchangeState::kUnreachable, errno);
    return Step(exchange);
}

GpsdExchangeState ContinueGpsdExchange(GpsdExchange& exchange)
{
    if (!exchange.fd) return Fail(exchange, GpsdExchangeState::kNoAnswer, EBADF);
    return Step(exchange);
}

GpsdExchangeState FinishGpsdExchange(GpsdExchange& exchange, int stopFd)
{
    if (!exchange.fd) return Fail(exchange, GpsdExchangeState::kNoAnswer, EBADF);
    if (!exchange.connected) {
        const GpsdExchangeState state = ConnectWaiting(exchange, stopFd);
        if (state != GpsdExchangeState::kPending) return state;
    }
    for (;;) {
        const GpsdExchangeState state = Step(exchange);
        if (state != GpsdExchangeState::kPending) return state;
        const bool sending = exchange.sentLength < exchange.commandLength;
        pollfd ready[] = {{exchange.fd.get(), static_cast<short>(sending ? POLLOUT : POLLIN), 0},
                          {stopFd, POLLIN, 0}};  // poll() passes over a descriptor of -1
        if (PollRetrying(ready, 2, MillisecondsLeft(exchange)) < 0)
            return Fail(exchange, GpsdExchangeState::kNoAnswer, errno);
        if (ready[1].revents != 0) return Fail(exchange, GpsdExchangeState::kNoAnswer, ECANCELED);
    }
}

void AbandonGpsdExchange(GpsdExchange& exchange)
{
    exchange.fd.reset();
}
