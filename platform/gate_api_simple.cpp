// GateApi::Simple on gpsd. The input is a loopback TCP source: we listen on 127.0.0.1 at a free
// port and add "tcp://127.0.0.1:PORT" through gpsd's control socket; gpsd connects to us and
// reads what we send like any NMEA receiver. No device files, so no permissions to fix, and no
// serial probing.
//
// gpsd opens its sources only while some client watches, and closes them again about a minute
// after the last one has left. So the data connection comes and goes while the source stays
// in gpsd's list: with no connection there is nobody to serve and a sentence is dropped, as
// gpsd itself drops a receiver's data then. A connection that ends is checked against gpsd's
// source list: a live gpsd still lists the source, a dead or restarted one does not.
#include "platform/gate_api_simple.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>

#include "platform/fd_io.h"
#include "platform/gate_error_text.h"
#include "platform/gpsd_control.h"
#include "platform/unique_fd.h"

namespace GateApi {

namespace {

constexpr char kControlSocketWhat[] = "gpsd control socket";
constexpr char kInputWhat[] = "gpsd input";
// The serial port's bound: 1 s plus 10 ms per byte before a write counts as failed.
constexpr int kWriteTimeoutConstantMs = 1000;
constexpr int kWriteTimeoutPerByteMs = 10;
// Without a connection, how often a Write asks gpsd whether it still holds the source.
constexpr long long kLivenessCheckIntervalMs = 1000;

}  // namespace

// The state of one input. Simple::Connection is this under the name the header declares; the
// helpers below take it by this name, since the nested one is private to the class.
struct GpsdInput {
    char controlPath[108] = {};  // as large as a Unix socket address holds
    char source[40] = {};        // "tcp://127.0.0.1:PORT"
    bool sourceSent = false;     // an add may have reached gpsd that no remove has taken back
    UniqueFd listener;
    UniqueFd stream;  // gpsd's connection, while it is reading
    long long nextLivenessCheck = 0;
    bool failed = false;  // a Write failed: every later one fails too, until Open/Close
    char lastError[kGateErrorTextSize] = "no failure";
};

struct Simple::Connection : GpsdInput {};

namespace {

void SetError(GpsdInput& c, const char* what, const char* subject, const char* reason)
{
    FormatGateErrorText(c.lastError, what, subject, reason);
}

const char* ControlReason(int error)
{
    if (error == ETIMEDOUT) return "no answer in time";
    if (error == EBADMSG) return "unexpected reply";
    return SystemReason(error);
}

bool ResolveControlPath(GpsdInput& c)
{
    if (c.controlPath[0] || GpsdControlSocketPath(c.controlPath, sizeof c.controlPath)) return true;
    SetError(c, kControlSocketWhat, "path", SystemReason(errno));
    return false;
}

// One command; false after setting the error text when gpsd gave no whole reply.
bool Exchange(GpsdInput& c, const char* command, char (&reply)[kGpsdReplySize],
              GpsdCommandResult& result)
{
    result = SendGpsdCommand(c.controlPath, command, reply);
    if (result == GpsdCommandResult::kAnswered) return true;
    SetError(c, kControlSocketWhat, c.controlPath, ControlReason(errno));
    return false;
}

// True when gpsd still lists our source, so that a lost connection only means that nobody
// watches. A gpsd too old to list its sources answers "ERROR" and is taken at its word.
bool SourceStillListed(GpsdInput& c)
{
    c.nextLivenessCheck = MonotonicMilliseconds() + kLivenessCheckIntervalMs;
    char reply[kGpsdReplySize];
    GpsdCommandResult result;
    if (!Exchange(c, "?devices\n", reply, result)) return false;
    if (!GpsdReplyIsOk(reply)) return true;
    char line[sizeof c.source + 2];
    std::snprintf(line, sizeof line, "%s\n", c.source);
    for (const char* at = std::strstr(reply, line); at; at = std::strstr(at + 1, line))
        if (at == reply || at[-1] == '\n') return true;
    SetError(c, "gpsd dropped the input", c.source, "");
    return false;
}

UniqueFd ListenOnLoopback(int& port)
{
    UniqueFd fd{::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0)};
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (!fd || ::bind(fd.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(fd.get(), 4) != 0 ||
        ::getsockname(fd.get(), reinterpret_cast<sockaddr*>(&address), &length) != 0)
        return {};
    port = ntohs(address.sin_port);
    return fd;
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

int WriteTimeoutMs(int count)
{
    return kWriteTimeoutConstantMs + kWriteTimeoutPerByteMs * count;
}

bool SendToGpsd(GpsdInput& c, const void* bytes, int count)
{
    if (!RefreshStream(c)) return false;
    if (!c.stream)  // nobody watches: nothing to send, but notice a gpsd that is gone
        return MonotonicMilliseconds() < c.nextLivenessCheck || SourceStillListed(c);
    if (count <= 0) return true;
    if (WriteAllWithin(c.stream.get(), bytes, static_cast<std::size_t>(count),
                       WriteTimeoutMs(count), WriteTarget::kSocket))
        return true;
    const int error = errno;
    if (error == EPIPE || error == ECONNRESET) {  // gpsd closed it since RefreshStream()
        c.stream.reset();
        return SourceStillListed(c);
    }
    SetError(c, kInputWhat, c.source,
             error == ETIMEDOUT ? "stopped taking data" : SystemReason(error));
    return false;
}

}  // namespace

Simple::Simple() : connection_(new (std::nothrow) Connection) {}

Simple::~Simple()
{
    Close();
    delete connection_;
}

bool Simple::StartGpsGate()
{
    if (!connection_) return false;
    Connection& c = *connection_;
    if (!ResolveControlPath(c)) return false;
    // A harmless question: it changes nothing in gpsd, and its answer shows that gpsd itself
    // runs, not only a socket that systemd holds for it (connecting starts such a gpsd).
    char reply[kGpsdReplySize];
    GpsdCommandResult result;
    return Exchange(c, "?devices\n", reply, result);
}

bool Simple::Open(const char* inputName)
{
    if (!connection_) return false;
    Close();
    Connection& c = *connection_;
    if (!inputName || !ResolveControlPath(c)) {
        if (!inputName) FormatGateErrorText(c.lastError, "no input name", "", "");
        return false;
    }
    int port = 0;
    c.listener = ListenOnLoopback(port);
    if (!c.listener) {
        SetError(c, "local port for gpsd", "on 127.0.0.1", SystemReason(errno));
        return false;
    }
    std::snprintf(c.source, sizeof c.source, "tcp://127.0.0.1:%d", port);
    char command[sizeof c.source + 2];
    std::snprintf(command, sizeof command, "+%s\n", c.source);
    char reply[kGpsdReplySize];
    GpsdCommandResult result;
    const bool answered = Exchange(c, command, reply, result);
    // Unanswered is not unheard: a gpsd that was only slow still adds the source later.
    c.sourceSent = result != GpsdCommandResult::kUnreachable && (!answered || GpsdReplyIsOk(reply));
    if (!answered) return false;
    if (!GpsdReplyIsOk(reply)) {
        SetError(c, "gpsd refused the input", c.source, "");
        return false;
    }
    // gpsd answers the add first and connects to the source (when some client watches) later
    // in the same round of its loop; a second command is answered only in a later round, so
    // after its answer the connection is there to take, and no sentence of the run is dropped.
    SendGpsdCommand(c.controlPath, "?devices\n", reply);
    AcceptWaiting(c);
    c.nextLivenessCheck = MonotonicMilliseconds() + kLivenessCheckIntervalMs;
    return true;
}

bool Simple::Write(const void* bytes, int count)
{
    if (!connection_) return false;
    Connection& c = *connection_;
    if (!c.listener) {
        FormatGateErrorText(c.lastError, "gpsd input is not open", "", "");
        return false;
    }
    if (c.failed) return false;  // the text of the failure stays as it was
    c.failed = !SendToGpsd(c, bytes, count);
    return !c.failed;
}

int Simple::GetLastError(char* buffer, int size)
{
    return CopyGateErrorText(connection_ ? connection_->lastError : "out of memory", buffer, size);
}

void Simple::Close()
{
    if (!connection_) return;
    Connection& c = *connection_;
    if (c.sourceSent) {
        // Before our end closes, so that gpsd forgets the source instead of reconnecting.
        char command[sizeof c.source + 2];
        std::snprintf(command, sizeof command, "-%s\n", c.source);
        char reply[kGpsdReplySize];
        SendGpsdCommand(c.controlPath, command, reply);
        c.sourceSent = false;
    }
    c.stream.reset();
    c.listener.reset();
    c.source[0] = '\0';
    c.failed = false;
}

}  // namespace GateApi
