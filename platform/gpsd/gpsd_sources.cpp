// Our sources in gpsd's list, known by their address: those that no run of this user's serves
// any more (its program and guardian killed together) are found in the kernel's socket table.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <unistd.h>

#include <cstdio>
#include <string_view>

#include "platform/gpsd/gpsd_input.h"

namespace GateApi {

namespace {

// True when a socket of this user's listens at `port` of our address: a run of ours, or the
// guardian of one that is taking its source out. Anything else there is not ours to feed gpsd:
// nobody (the run was killed with its guardian), or another user's program that took the port
// after that, which gpsd would read as a receiver.
bool ServedByUs(unsigned port)
{
    in_addr_t address{};
    inet_pton(AF_INET, kGpsdInputAddress, &address);
    uid_t owner = 0;
    return FindListenerOwner(address, static_cast<unsigned short>(port), owner) &&
           owner == ::geteuid();
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

void RemoveUnservedSources(GpsdInput& c, const GpsdExchange& devices)
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
        if (port == 0 || ServedByUs(port)) continue;
        char command[64];
        std::snprintf(command, sizeof command, "-%.*s\n", static_cast<int>(line.size()),
                      line.data());
        GpsdExchange exchange;
        GpsdReply reply{};
        if (!AskGpsd(c, command, exchange, reply)) return;  // the start's time is up
    }
}

}  // namespace GateApi
