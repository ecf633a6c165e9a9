#include "tests/uart/guest_relay_run.h"

#include <fcntl.h>
#include <termios.h>

#include <sstream>
#include <string_view>

#include "platform/io/unique_fd.h"

namespace {

constexpr std::string_view kMessagePrefix = "message: ";

// Bytes an earlier run left in flight: what the guest sent that nobody read, and what a far end
// wrote that no run took. The latter waits in the pseudo-terminal's side that QEMU reads (QEMU
// takes a byte only when the UART has room), where only a flush through that side reaches it.
void DiscardLeftovers(PtyPair& port)
{
    port.ReadAvailable();
    const UniqueFd qemuSide(::open(port.Path().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC));
    if (qemuSide) tcflush(qemuSide.get(), TCIFLUSH);
}

}  // namespace

GuestRelayRun::GuestRelayRun(GuestMachine& guest, int baud, const std::string& input,
                             const std::string& output)
    : guest_(guest)
{
    DiscardLeftovers(guest.FarEnd(input));
    DiscardLeftovers(guest.FarEnd(output));
    firstLine_ = guest.Mark();
    guest.Send("uart_guest relay " + input + " " + output + " " + std::to_string(baud) +
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

bool GuestRelayRun::Usage(ThreadUsage& usage)
{
    std::istringstream answer(Ask("usage", "usage "));
    std::string word;
    return static_cast<bool>(answer >> word >> usage.cpuMs >> usage.voluntarySwitches >>
                             usage.involuntarySwitches);
}

long long GuestRelayRun::Stop(std::chrono::milliseconds timeout)
{
    const std::string stopped = Ask("stop", "stopped ", timeout);
    heldAfterStop_ = Reply("holds");
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
