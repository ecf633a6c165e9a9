#include "platform/gpsd/gpsd_input.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <utility>

#include "platform/gpsd/gate_error_text.h"
#include "platform/io/fd_io.h"

namespace GateApi {

namespace {

constexpr char kControlSocketWhat[] = "gpsd control socket";
constexpr char kInputWhat[] = "gpsd input";
// The serial port's bound: 1 s plus 10 ms per byte before a write counts as failed.
constexpr int kWriteTimeoutConstantMs = 1000;
constexpr int kWriteTimeoutPerByteMs = 10;
// Without a connection, how often a Write asks gpsd whether it still holds the source; more
// often while its first connection may still come, so that gpsd is awake when it may connect.
constexpr long long kLivenessCheckIntervalMs = 1000;
constexpr long long kFirstConnectionCheckIntervalMs = 100;
// How long sentences are kept for gpsd's first connection: its 3 s and a margin. After that
// nobody watches, and they are dropped.
constexpr long long kFirstConnectionWaitMs = 5000;
// Writing the kept sentences is bounded like a write of the longest sentence.
constexpr std::size_t kLongestSentenceBytes = 4096;

const char* ControlReason(int error)
{
    if (error == ETIMEDOUT) return "no answer in time";
    if (error == EBADMSG) return "unexpected reply";
    return SystemReason(error);
}

// True when gpsd still lists our source, so that a lost connection only means that nobody
// watches. A gpsd too old to list its sources answers "ERROR" and is taken at its word.
bool SourceStillListed(GpsdInput& c)
{
    const long long now = MonotonicMilliseconds();
    c.nextLivenessCheck = now + (now < c.firstConnectionDeadline ? kFirstConnectionCheckIntervalMs
                                                                 : kLivenessCheckIntervalMs);
    char reply[kGpsdReplySize];
    GpsdCommandResult result;
    if (!ExchangeWithGpsd(c, "?devices\n", reply, result)) return false;
    if (!GpsdReplyIsOk(reply)) return true;
    char line[sizeof c.source + 2];
    std::snprintf(line, sizeof line, "%s\n", c.source);
    for (const char* at = std::strstr(reply, line); at; at = std::strstr(at + 1, line))
        if (at == reply || at[-1] == '\n') return true;
    SetInputError(c, "gpsd dropped the input", c.source, "");
    return false;
}

// Takes gpsd's connection if one waits. Any further one is refused: gpsd opens a source once,
// and only after our end of an earlier connection has ended.
void AcceptWaiting(GpsdInput& c)
{
    for (;;) {
        UniqueFd incoming{
            ::accept4(c.listener.get(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC)};
        if (!incoming) return;
        if (c.stream) continue;
        const int on = 1;  // a sentence goes out at once, not when the previous one is acked
        setsockopt(incoming.get(), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        c.stream = std::move(incoming);
        c.firstConnectionDeadline = 0;
    }
}

// Discards what gpsd sends us (its probe strings for receiver types). False when the
// connection has ended: gpsd closed its source, or died.
bool DrainStream(GpsdInput& c)
{
    char discard[512];
    for (;;) {
        const ssize_t count = ::recv(c.stream.get(), discard, sizeof discard, MSG_DONTWAIT);
        if (count > 0) continue;
        if (count < 0 && errno == EINTR) continue;
        return count < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
    }
}

// Brings the connection up to date without waiting: drain, notice its end, take a new one.
// False (error text set) when gpsd has lost the source.
bool RefreshStream(GpsdInput& c)
{
    pollfd ready[2] = {{c.listener.get(), POLLIN, 0}, {c.stream.get(), POLLIN, 0}};
    if (PollRetrying(ready, 2, 0) < 0) return true;  // nothing learnt; the write will tell
    bool lost = false;
    if (c.stream && ready[1].revents != 0 && !DrainStream(c)) {
        c.stream.reset();
        lost = true;
    }
    if (ready[0].revents & POLLIN) AcceptWaiting(c);
    return !lost || c.stream || SourceStillListed(c);
}

int WriteTimeoutMs(std::size_t count)
{
    return kWriteTimeoutConstantMs + kWriteTimeoutPerByteMs * static_cast<int>(count);
}

bool SendOnStream(GpsdInput& c, const void* bytes, std::size_t count, int timeoutMs)
{
    if (WriteAllWithin(c.stream.get(), bytes, count, timeoutMs, WriteTarget::kSocket)) return true;
    const int error = errno;
    if (error == EPIPE || error == ECONNRESET) {  // gpsd closed it since RefreshStream()
        c.stream.reset();
        return SourceStillListed(c);
    }
    SetInputError(c, kInputWhat, c.source,
                  error == ETIMEDOUT ? "stopped taking data" : SystemReason(error));
    return false;
}

// Nobody reads: the bytes are kept while gpsd's first connection may still come, else
// dropped. Either way, a gpsd that is gone is noticed, and asking it wakes it.
bool HoldForGpsd(GpsdInput& c, const void* bytes, int count)
{
    const long long now = MonotonicMilliseconds();
    if (now >= c.firstConnectionDeadline)
        c.heldLength = 0;
    else if (count > 0 && static_cast<std::size_t>(count) <= sizeof c.held - c.heldLength) {
        std::memcpy(c.held + c.heldLength, bytes, static_cast<std::size_t>(count));
        c.heldLength += static_cast<std::size_t>(count);
    }
    return now < c.nextLivenessCheck || SourceStillListed(c);
}

}  // namespace

void SetInputError(GpsdInput& c, const char* what, const char* subject, const char* reason)
{
    FormatGateErrorText(c.lastError, what, subject, reason);
}

bool ResolveControlPath(GpsdInput& c)
{
    if (c.controlPath[0] || GpsdControlSocketPath(c.controlPath, sizeof c.controlPath)) return true;
    SetInputError(c, kControlSocketWhat, "path", SystemReason(errno));
    return false;
}

bool ExchangeWithGpsd(GpsdInput& c, const char* command, char (&reply)[kGpsdReplySize],
                      GpsdCommandResult& result)
{
    result = SendGpsdCommand(c.controlPath, command, reply);
    if (result == GpsdCommandResult::kAnswered) return true;
    SetInputError(c, kControlSocketWhat, c.controlPath, ControlReason(errno));
    return false;
}

bool ListenForGpsd(GpsdInput& c)
{
    UniqueFd fd{::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0)};
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (!fd || ::bind(fd.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fd.get(), 4) != 0 ||
        ::getsockname(fd.get(), reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        SetInputError(c, "local port for gpsd", "on 127.0.0.1", SystemReason(errno));
        return false;
    }
    c.listener = std::move(fd);
    std::snprintf(c.source, sizeof c.source, "tcp://127.0.0.1:%d", ntohs(address.sin_port));
    return true;
}

void AwaitGpsdConnection(GpsdInput& c)
{
    AcceptWaiting(c);
    const long long now = MonotonicMilliseconds();
    if (!c.stream) c.firstConnectionDeadline = now + kFirstConnectionWaitMs;
    c.nextLivenessCheck = now + kFirstConnectionCheckIntervalMs;
}

bool SendToGpsd(GpsdInput& c, const void* bytes, int count)
{
    if (!RefreshStream(c)) return false;
    if (c.stream && c.heldLength > 0) {
        const std::size_t held = std::exchange(c.heldLength, 0);
        if (!SendOnStream(c, c.held, held, WriteTimeoutMs(std::min(held, kLongestSentenceBytes))))
            return false;
    }
    if (!c.stream) return HoldForGpsd(c, bytes, count);
    if (count <= 0) return true;
    return SendOnStream(c, bytes, static_cast<std::size_t>(count),
                        WriteTimeoutMs(static_cast<std::size_t>(count)));
}

}  // namespace GateApi
