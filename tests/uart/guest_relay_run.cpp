#include "tests/uart/guest_relay_run.h"

#include <termios.h>

#include <string_view>

namespace {

constexpr std::string_view kMessagePrefix = "message: ";

}  // namespace

GuestRelayRun::GuestRelayRun(GuestMachine& guest, int baud) : guest_(guest)
{
    for (const int port : {1, 2}) {
        guest.Port(port).ReadAvailable();
        tcflush(guest.Port(port).Master(), TCIOFLUSH);
    }
    firstLine_ = guest.Mark();
    guest.Send("uart_guest relay /dev/ttyS1 /dev/ttyS2 " + std::to_string(baud) +
               "; echo \"exit $?\"");
    running_ = true;
    started_ = Reply("run: ") == "run: started";
    if (!started_ && !Reply("exit ").empty()) running_ = false;
}

GuestRelayRun::~GuestRelayRun()
{
    if (running_) Stop();
}

std::string GuestRelayRun::Ask(const std::string& command, const std::string& prefix,
                               std::chrono::milliseconds timeout)
{
    guest_.Send(command);
    return Reply(prefix, timeout);
}

std::string GuestRelayRun::Reply(const std::string& prefix, std::chrono::milliseconds timeout)
{
    return guest_.WaitForLine(prefix, timeout).value_or("");
}

long long GuestRelayRun::Stop(std::chrono::milliseconds timeout)
{
    const std::string stopped = Ask("stop", "stopped ", timeout);
    if (stopped.empty() || Reply("exit ").empty()) return -1;
    running_ = false;
    return std::stoll(stopped.substr(8));
}

std::vector<std::string> GuestRelayRun::Messages() const
{
    std::vector<std::string> texts;
    const std::vector<std::string>& lines = guest_.Lines();
    for (std::size_t i = firstLine_; i < lines.size(); ++i)
        if (std::string_view(lines[i]).starts_with(kMessagePrefix))
            texts.push_back(lines[i].substr(kMessagePrefix.size()));
    return texts;
}
