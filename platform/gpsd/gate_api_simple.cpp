// GateApi::Simple on gpsd. The input is a loopback TCP source: we listen on an address of our
// own at a free port and add "tcp://ADDRESS:PORT" through gpsd's control socket; gpsd connects
// to us and reads what we send like any NMEA receiver. No device files, so no permissions to
// fix, and no serial probing.
#include "platform/gpsd/gate_api_simple.h"

#include <cerrno>
#include <cstdio>
#include <new>

#include "platform/gpsd/gate_error_text.h"
#include "platform/gpsd/gpsd_input.h"
#include "platform/io/fd_io.h"

namespace GateApi {

// Simple::Connection is GpsdInput under the name the header declares.
struct Simple::Connection : GpsdInput {};

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
    BeginStart(c);  // Open, which follows, shares the start's time
    // A harmless question: it changes nothing in gpsd, and its answer shows that gpsd itself
    // runs, not only a socket that systemd holds for it (connecting starts such a gpsd).
    GpsdExchange exchange;
    GpsdReply reply{};
    return AskGpsd(c, "?devices\n", exchange, reply);
}

bool Simple::Open(const char* inputName)
{
    if (!connection_) return false;
    Connection& c = *connection_;
    const long long startDeadline = c.startDeadline;  // Close() gives its remove a bound of its own
    Close();
    c.startDeadline = startDeadline;
    if (!inputName) {
        FormatGateErrorText(c.lastError, "no input name", "", "");
        return false;
    }
    if (!ResolveControlPath(c)) return false;
    if (c.startDeadline <= MonotonicMilliseconds()) BeginStart(c);  // no StartGpsGate before
    GpsdExchange exchange;
    GpsdReply reply{};
    if (!AskGpsd(c, "?devices\n", exchange, reply)) return false;
    RemoveUnservedSources(c, exchange);
    FindGpsdProcesses(c.controlPath, c.gpsd);
    if (!ListenForGpsd(c) || !GuardSource(c)) return false;

    char command[sizeof c.source + 2];
    std::snprintf(command, sizeof command, "+%s\n", c.source);
    if (!AskGpsd(c, command, exchange, reply)) return false;
    if (reply.status != GpsdReplyStatus::kDone) {
        SetInputError(c, "gpsd refused the input", c.source, "");
        return false;
    }
    c.sourceSent = true;
    // gpsd answers the add first and connects to the source (when some client watches) later
    // in the same round of its loop; a second command is answered only in a later round, so
    // after its answer the connection is there to take, and no sentence of the run is dropped.
    AskGpsd(c, "?devices\n", exchange, reply);
    c.startDeadline = 0;
    AwaitGpsdConnection(c);
    return true;
}

bool Simple::Write(const void* bytes, int count, int stopFd)
{
    if (!connection_) return false;
    Connection& c = *connection_;
    if (c.failed) return false;  // the text of the failure stays as it was
    if (!c.listener) {
        FormatGateErrorText(c.lastError, "gpsd input is not open", "", "");
        return false;
    }
    c.failed = !SendToGpsd(c, bytes, count, stopFd);
    if (!c.failed) return true;
    if (c.stopped)
        errno = ECANCELED;
    else
        WithdrawInput(c);  // the run ends with this failure, and nobody serves the input now
    return false;
}

int Simple::ListenerDescriptor() const
{
    return connection_ && connection_->listener ? connection_->listener.get() : -1;
}

void Simple::ServeConnections()
{
    if (connection_ && connection_->listener) AcceptWaiting(*connection_);
}

void Simple::Withdraw()
{
    if (connection_) {
        WithdrawInput(*connection_);
        connection_->failed = true;
    }
}

int Simple::GetLastError(char* buffer, int size)
{
    return CopyGateErrorText(connection_ ? connection_->lastError : "out of memory", buffer, size);
}

void Simple::Close()
{
    if (connection_) CloseInput(*connection_);
}

}  // namespace GateApi
