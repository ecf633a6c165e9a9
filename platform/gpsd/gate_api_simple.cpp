// GateApi::Simple on gpsd. The input is a loopback TCP source: we listen on 127.0.0.1 at a free
// port and add "tcp://127.0.0.1:PORT" through gpsd's control socket; gpsd connects to us and
// reads what we send like any NMEA receiver. No device files, so no permissions to fix, and no
// serial probing.
#include "platform/gpsd/gate_api_simple.h"

#include <cstdio>
#include <new>

#include "platform/gpsd/gate_error_text.h"
#include "platform/gpsd/gpsd_control.h"
#include "platform/gpsd/gpsd_input.h"

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
    // A harmless question: it changes nothing in gpsd, and its answer shows that gpsd itself
    // runs, not only a socket that systemd holds for it (connecting starts such a gpsd).
    char reply[kGpsdReplySize];
    GpsdCommandResult result;
    return ExchangeWithGpsd(c, "?devices\n", reply, result);
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
    if (!ListenForGpsd(c)) return false;
    char command[sizeof c.source + 2];
    std::snprintf(command, sizeof command, "+%s\n", c.source);
    char reply[kGpsdReplySize];
    GpsdCommandResult result;
    const bool answered = ExchangeWithGpsd(c, command, reply, result);
    // Unanswered is not unheard: a gpsd that was only slow still adds the source later.
    c.sourceSent = result != GpsdCommandResult::kUnreachable && (!answered || GpsdReplyIsOk(reply));
    if (!answered) return false;
    if (!GpsdReplyIsOk(reply)) {
        SetInputError(c, "gpsd refused the input", c.source, "");
        return false;
    }
    // gpsd answers the add first and connects to the source (when some client watches) later
    // in the same round of its loop; a second command is answered only in a later round, so
    // after its answer the connection is there to take, and no sentence of the run is dropped.
    SendGpsdCommand(c.controlPath, "?devices\n", reply);
    AwaitGpsdConnection(c);
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
    c.firstConnectionDeadline = 0;
    c.heldLength = 0;
    c.failed = false;
}

}  // namespace GateApi
