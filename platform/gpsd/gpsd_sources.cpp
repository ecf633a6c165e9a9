// Our sources in gpsd's list, known by their address: those of runs that ended without taking
// them back (killed, crashed) are found by their listener being gone.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>

#include <cerrno>
#include <cstdio>
#include <string_view>

#include "platform/gpsd/gpsd_input.h"
#include "platform/io/fd_io.h"

namespace GateApi {

namespace {

// A source of an earlier run whose program is gone refuses the connection at once.
constexpr int kProbeTimeoutMs = 200;

// True when a listener still answers at `port` of our address (a run of this program, ours or
// another user's); false when the connection is refused.
bool SourceListenerAlive(unsigned port)
{
    const UniqueFd probe{::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0)};
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    inet_pton(AF_INET, kGpsdInputAddress, &address.sin_addr);
    if (!probe) return true;
    if (::connect(probe.get(), reinterpret_cast<sockaddr*>(&address), sizeof address) == 0)
        return true;
    if (errno != EINPROGRESS) return errno != ECONNREFUSED;
    pollfd done{probe.get(), POLLOUT, 0};
    if (PollRetrying(&done, 1, kProbeTimeoutMs) <= 0) return true;
    int error = 0;
    socklen_t size = sizeof error;
    getsockopt(probe.get(), SOL_SOCKET, SO_ERROR, &error, &size);
    return error != ECONNREFUSED;
}

// The port of a source of ours ("tcp://127.113.110.120:PORT"), or 0 for anyone else's.
unsigned OurSourcePort(std::string_view line)
{
    char prefix[40];
    const int length = std::snprintf(prefix, sizeof prefix, "tcp://%s:", kGpsdInputAddress);
    if (!line.starts_with(std::string_view(prefix, static_cast<std::size_t>(length)))) return 0;
    unsigned port = 0;
    for (const char digit : line.substr(static_cast<std::size_t>(length))) {
        if (digit < '0' || digit > '9' || port > 65535) return 0;
        port = port * 10 + static_cast<unsigned>(digit - '0');
    }
    return port <= 65535 ? port : 0;
}

}  // namespace

void RemoveDeadSources(GpsdInput& c, const GpsdExchange& devices)
{
    const GpsdReply list = ParseGpsdReply(devices.reply, devices.length);
    const std::string_view lines(devices.reply, list.listLength);
    for (std::size_t at = 0; at < lines.size();) {
        std::size_t end = lines.find('\n', at);
        if (end == std::string_view::npos) end = lines.size();
        std::string_view line = lines.substr(at, end - at);
        at = end + 1;
        if (line.ends_with('\r')) line.remove_suffix(1);
        const unsigned port = OurSourcePort(line);
        if (port == 0 || SourceListenerAlive(port)) continue;
        char command[64];
        std::snprintf(command, sizeof command, "-%.*s\n", static_cast<int>(line.size()),
                      line.data());
        GpsdExchange exchange;
        GpsdReply reply{};
        if (!AskGpsd(c, command, exchange, reply)) return;  // the start's time is up
    }
}

}  // namespace GateApi
