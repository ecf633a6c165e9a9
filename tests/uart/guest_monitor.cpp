#include "tests/uart/guest_monitor.h"

#include <sys/socket.h>

#include <chrono>

namespace {

constexpr std::chrono::seconds kAnswerTimeout{20};

bool StartsWith(const std::string& line, const std::string& prefix)
{
    return line.rfind(prefix, 0) == 0;
}

}  // namespace

GuestMonitor::GuestMonitor(UniqueFd socket) : socket_(std::move(socket)), replies_(socket_.get()) {}

bool GuestMonitor::AddDevice(const std::string& json)
{
    return Execute("device_add", json);
}

// device_del only asks: QEMU answers at once and deletes the device afterwards, and until then
// a device_add of the same id or backend is refused.
bool GuestMonitor::DeleteDevice(const std::string& id)
{
    if (!Execute("device_del", "{\"id\":\"" + id + "\"}")) return false;
    const std::string device = "\"device\": \"" + id + "\"";
    const auto deleted = [&](const std::string& line) {
        return line.find("\"DEVICE_DELETED\"") != std::string::npos &&
               line.find(device) != std::string::npos;
    };
    return replies_.Next(deleted, std::chrono::steady_clock::now() + kAnswerTimeout).has_value();
}

// Events may come between a command and its answer; the answer is the next line that starts
// with "return" or "error". A connection takes commands only after "qmp_capabilities".
bool GuestMonitor::Execute(const std::string& command, const std::string& arguments)
{
    if (!negotiated_) {
        negotiated_ = true;  // before the call, which comes through here itself
        if (!Execute("qmp_capabilities", "{}")) return false;
    }
    const std::string request =
        "{\"execute\":\"" + command + "\",\"arguments\":" + arguments + "}\n";
    if (::send(socket_.get(), request.data(), request.size(), MSG_NOSIGNAL) !=
        static_cast<ssize_t>(request.size()))
        return false;
    const auto answer = replies_.Next(
        [](const std::string& line) {
            return StartsWith(line, "{\"return\"") || StartsWith(line, "{\"error\"");
        },
        std::chrono::steady_clock::now() + kAnswerTimeout);
    return answer && StartsWith(*answer, "{\"return\"");
}
