#include "platform/gpsd/gpsd_input.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <utility>

#include "platform/gpsd/gate_error_text.h"
#include "platform/gpsd/gpsd_guardian.h"
#include "platform/gpsd/gpsd_reply.h"
#include "platform/io/fd_io.h"
#include "platform/io/program_ending.h"

namespace GateApi {

namespace {

constexpr char kControlSocketWhat[] = "gpsd control socket";
constexpr char kInputWhat[] = "gpsd input";
// Without a connection, how often a Write asks gpsd whether it still holds the source; more
// often while its first connection may still come, so that gpsd is awake when it may connect.
constexpr long long kLivenessCheckIntervalMs = 1000;
constexpr long long kFirstConnectionCheckIntervalMs = 100;
// How long sentences are kept for gpsd's first connection: its 3 s and a margin. After that
// nobody watches, and they are dropped.
constexpr long long kFirstConnectionWaitMs = 5000;
// Writing the kept sentences is bounded like a write of the longest sentence.
constexpr std::size_t kLongestSentenceBytes = 4096;
// Room for connections that wait to be looked at: the kernel cuts this down to the system's
// maximum (net.core.somaxconn). A full queue would leave gpsd, which connects to its sources
// from its one thread, hanging in connect() and deaf to everyone.
constexpr int kListenQueue = INT_MAX;
// How many waiting connections one look takes: a flood of them must not keep the relay from
// its input.
constexpr int kAcceptsPerLook = 8;

const char* ControlReason(int error)
{
    if (error == ETIMEDOUT) return "no answer in time";
    if (error == EBADMSG) return "unexpected reply";
    return SystemReason(error);
}

void SetControlError(GpsdInput& c, const GpsdExchange& exchange, GpsdExchangeState state)
{
    char reason[32];
    if (state == GpsdExchangeState::kUntrusted)
        std::snprintf(reason, sizeof reason, "owned by uid %u", exchange.serverUid);
    else
        std::snprintf(reason, sizeof reason, "%s", ControlReason(exchange.error));
    SetInputError(c, kControlSocketWhat, c.controlPath, reason);
}

// A reply of gpsd's, or the error text set: a list only answers a question ('?').
bool ReadReply(GpsdInput& c, const GpsdExchange& exchange, GpsdReply& reply)
{
    reply = ParseGpsdReply(exchange.reply, exchange.length);
    if (reply.status != GpsdReplyStatus::kMalformed &&
        (exchange.command[0] == '?' || reply.listLength == 0))
        return true;
    SetInputError(c, kControlSocketWhat, c.controlPath, ControlReason(EBADMSG));
    return false;
}

long long ExchangeDeadline(const GpsdInput& c)
{
    const long long bound = MonotonicMilliseconds() + kGpsdControlTimeoutMs;
    return c.startDeadline > 0 ? std::min(bound, c.startDeadline) : bound;
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

// The connection has ended: gpsd may only have closed the source because nobody watches, or
// it has gone. The next check, at once, tells which.
void LoseStream(GpsdInput& c)
{
    c.stream.reset();
    c.nextCheck = MonotonicMilliseconds();
}

// Brings the connection up to date without waiting: drain, notice its end, take a new one.
void RefreshStream(GpsdInput& c)
{
    pollfd ready[2] = {{c.listener.get(), POLLIN, 0}, {c.stream.get(), POLLIN, 0}};
    if (PollRetrying(ready, 2, 0) <= 0) return;
    if (c.stream && ready[1].revents != 0 && !DrainStream(c)) LoseStream(c);
    if (ready[0].revents & POLLIN) AcceptWaiting(c);
}

// Where the question whether gpsd still lists the source stands. False (error text set) once
// the answer is that gpsd has gone or lost the source.
bool ProgressCheck(GpsdInput& c, GpsdExchangeState state)
{
    if (state == GpsdExchangeState::kPending) return true;
    c.checking = false;
    const long long now = MonotonicMilliseconds();
    c.nextCheck = now + (now < c.firstConnectionDeadline ? kFirstConnectionCheckIntervalMs
                                                         : kLivenessCheckIntervalMs);
    if (state != GpsdExchangeState::kAnswered) {
        SetControlError(c, c.check, state);
        return false;
    }
    GpsdReply reply{};
    if (!ReadReply(c, c.check, reply)) return false;
    // A gpsd that cannot list its sources refuses the question and is taken at its word.
    if (reply.status == GpsdReplyStatus::kRefused ||
        GpsdListHolds(c.check.reply, reply.listLength, c.source))
        return true;
    SetInputError(c, "gpsd dropped the input", c.source, "");
    return false;
}

// Asks (or goes on asking) whether gpsd still lists the source, without waiting for it.
bool CheckSource(GpsdInput& c)
{
    if (c.checking) return ProgressCheck(c, ContinueGpsdExchange(c.check));
    if (MonotonicMilliseconds() < c.nextCheck) return true;
    c.checking = true;
    return ProgressCheck(c, BeginGpsdExchange(c.check, c.controlPath, "?devices\n", c.gpsd.owners,
                                              ExchangeDeadline(c)));
}

// False (error text set) when gpsd stopped taking data; a connection that gpsd closed meanwhile
// only loses these bytes.
bool SendOnStream(GpsdInput& c, const void* bytes, std::size_t count, int timeoutMs, int stopFd)
{
    if (WriteAllWithin(c.stream.get(), bytes, count, timeoutMs, WriteTarget::kSocket, stopFd))
        return true;
    const int error = errno;
    if (error == ECANCELED) {
        c.stopped = true;
        SetInputError(c, kInputWhat, c.source, "stopped");
        return false;
    }
    if (error == EPIPE || error == ECONNRESET) {
        LoseStream(c);
        return true;
    }
    SetInputError(c, kInputWhat, c.source,
                  error == ETIMEDOUT ? "stopped taking data" : SystemReason(error));
    return false;
}

// Nobody reads: the bytes are kept while gpsd's first connection may still come, else dropped.
void HoldForGpsd(GpsdInput& c, const void* bytes, int count)
{
    if (MonotonicMilliseconds() >= c.firstConnectionDeadline)
        c.heldLength = 0;
    else if (count > 0 && static_cast<std::size_t>(count) <= sizeof c.held - c.heldLength) {
        std::memcpy(c.held + c.heldLength, bytes, static_cast<std::size_t>(count));
        c.heldLength += static_cast<std::size_t>(count);
    }
}

}  // namespace

void SetInputError(GpsdInput& c, const char* what, const char* subject, const char* reason)
{
    FormatGateErrorText(c.lastError, what, subject, reason);
}

bool ResolveControlPath(GpsdInput& c)
{
    if (!c.controlPath[0] && !GpsdControlSocketPath(c.controlPath, sizeof c.controlPath)) {
        SetInputError(c, kControlSocketWhat, "path", SystemReason(errno));
        return false;
    }
    c.gpsd.owners = TrustedGpsdOwners();
    return true;
}

void BeginStart(GpsdInput& c)
{
    c.startDeadline = MonotonicMilliseconds() + kGpsdStartTimeoutMs;
}

bool AskGpsd(GpsdInput& c, const char* command, GpsdExchange& exchange, GpsdReply& reply)
{
    GpsdExchangeState state =
        BeginGpsdExchange(exchange, c.controlPath, command, c.gpsd.owners, ExchangeDeadline(c));
    if (state == GpsdExchangeState::kPending)
        state = FinishGpsdExchange(exchange, ProgramEndingFd());
    if (state == GpsdExchangeState::kAnswered) {
        c.gpsd.serverUid = exchange.serverUid;
        return ReadReply(c, exchange, reply);
    }
    // Unanswered is not unheard: a gpsd that was only slow still carries an add out later.
    if (state == GpsdExchangeState::kNoAnswer && command[0] == '+') c.sourceSent = true;
    SetControlError(c, exchange, state);
    errno = exchange.error;
    return false;
}

bool ListenForGpsd(GpsdInput& c)
{
    UniqueFd fd{::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0)};
    sockaddr_in address{};
    address.sin_family = AF_INET;
    inet_pton(AF_INET, kGpsdInputAddress, &address.sin_addr);
    socklen_t length = sizeof address;
    if (!fd || ::bind(fd.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fd.get(), kListenQueue) != 0 ||
        ::getsockname(fd.get(), reinterpret_cast<sockaddr*>(&address), &length) != 0) {
        SetInputError(c, "local port for gpsd", "on 127.113.110.120", SystemReason(errno));
        return false;
    }
    c.listener = std::move(fd);
    std::snprintf(c.source, sizeof c.source, "tcp://%s:%d", kGpsdInputAddress,
                  ntohs(address.sin_port));
    return true;
}

// Any connection but gpsd's is closed at once, before a byte is sent, and any further one too:
// gpsd opens a source once, and only after our end of an earlier connection has ended.
void AcceptWaiting(GpsdInput& c)
{
    for (int look = 0; look < kAcceptsPerLook; ++look) {
        UniqueFd incoming{
            ::accept4(c.listener.get(), nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC)};
        if (!incoming) return;
        if (c.stream || !IsGpsdConnection(incoming.get(), c.gpsd)) continue;
        const int on = 1;  // a sentence goes out at once, not when the previous one is acked
        setsockopt(incoming.get(), IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        c.stream = std::move(incoming);
        c.firstConnectionDeadline = 0;
        if (c.checking) {  // gpsd holds the source and reads it: nothing left to ask
            AbandonGpsdExchange(c.check);
            c.checking = false;
        }
    }
}

void AwaitGpsdConnection(GpsdInput& c)
{
    AcceptWaiting(c);
    const long long now = MonotonicMilliseconds();
    if (!c.stream) c.firstConnectionDeadline = now + kFirstConnectionWaitMs;
    c.nextCheck = now + kFirstConnectionCheckIntervalMs;
}

bool SendToGpsd(GpsdInput& c, const void* bytes, int count, int stopFd)
{
    RefreshStream(c);
    if (!c.stream) {
        HoldForGpsd(c, bytes, count);
        return CheckSource(c);
    }
    if (c.heldLength > 0) {
        const std::size_t held = std::exchange(c.heldLength, 0);
        if (!SendOnStream(c, c.held, held, WriteTimeoutMs(std::min(held, kLongestSentenceBytes)),
                          stopFd))
            return false;
    }
    if (count <= 0 || !c.stream) return true;
    return SendOnStream(c, bytes, static_cast<std::size_t>(count),
                        WriteTimeoutMs(static_cast<std::size_t>(count)), stopFd);
}

bool GuardSource(GpsdInput& c)
{
    c.guardian = StartGpsdGuardian(c.listener.get(), c.controlPath, c.source, c.gpsd.owners);
    if (c.guardian) return true;
    SetInputError(c, "local port for gpsd", "on 127.113.110.120", SystemReason(errno));
    return false;
}

void WithdrawInput(GpsdInput& c)
{
    if (c.guardian) ReleaseToGpsdGuardian(c.guardian.get());
    if (c.checking) AbandonGpsdExchange(c.check);
    c.checking = false;
    c.stream.reset();
    c.listener.reset();
}

void CloseInput(GpsdInput& c)
{
    if (c.checking) AbandonGpsdExchange(c.check);
    c.checking = false;
    c.startDeadline = 0;
    if (c.guardian && !c.sourceSent) StandDownGpsdGuardian(c.guardian);
    if (c.guardian) {
        ReleaseToGpsdGuardian(c.guardian.get());
        if (AwaitGpsdGuardian(c.guardian)) c.sourceSent = false;  // in the guardian's hands
    }
    if (c.sourceSent) {
        // The guardian was killed: the source is ours to take back, before our end closes, so
        // that gpsd forgets it instead of reconnecting. The text of an earlier failure stays:
        // the remove has nobody to tell of its own.
        char command[sizeof c.source + 2];
        std::snprintf(command, sizeof command, "-%s\n", c.source);
        GpsdExchange exchange;
        if (BeginGpsdExchange(exchange, c.controlPath, command, c.gpsd.owners,
                              ExchangeDeadline(c)) == GpsdExchangeState::kPending)
            FinishGpsdExchange(exchange);
        c.sourceSent = false;
    }
    c.stream.reset();
    c.listener.reset();
    c.source[0] = '\0';
    c.firstConnectionDeadline = 0;
    c.heldLength = 0;
    c.failed = c.stopped = false;
}

}  // namespace GateApi
