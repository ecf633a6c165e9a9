#include "tests/support/gpsd_client.h"

#include <algorithm>

#include "tests/support/listening_socket.h"

namespace {

bool IsReportOf(const std::string& line, const char* reportClass)
{
    return JsonMember(line, "class") == reportClass;
}

// The device objects in a DEVICE or DEVICES report, each from its "path" to its closing brace.
std::vector<std::string> DeviceEntries(const std::string& line)
{
    std::vector<std::string> entries;
    for (std::size_t at = line.find("\"path\":"); at != std::string::npos;
         at = line.find("\"path\":", at + 1))
        entries.push_back(line.substr(at, line.find('}', at) - at));
    return entries;
}

}  // namespace

GpsdWatcher::GpsdWatcher(int port)
    : reader_(port, kWatchEverything, [this](std::string_view line, GpsdReader::Clock::time_point) {
          std::lock_guard lock(guard_);
          lines_.emplace_back(line);
          arrived_.notify_all();
      })
{
}

GpsdWatcher::Lines GpsdWatcher::AllLines() const
{
    std::lock_guard lock(guard_);
    return lines_;
}

void GpsdWatcher::Forget()
{
    std::lock_guard lock(guard_);
    lines_.clear();
}

GpsdWatcher::Lines GpsdWatcher::NmeaLines() const
{
    Lines nmea;
    for (const std::string& line : AllLines())
        if (IsNmeaLine(line)) nmea.push_back(line);
    return nmea;
}

bool GpsdWatcher::WaitUntil(const std::function<bool(const Lines&)>& done,
                            std::chrono::milliseconds timeout) const
{
    std::unique_lock lock(guard_);
    return arrived_.wait_for(lock, timeout, [&] { return done(lines_); });
}

bool GpsdWatcher::WaitForAnyLine(const std::function<bool(const std::string&)>& matches,
                                 std::chrono::milliseconds timeout) const
{
    return WaitUntil(
        [&](const Lines& lines) { return std::any_of(lines.begin(), lines.end(), matches); },
        timeout);
}

bool GpsdWatcher::WaitForFix(std::chrono::milliseconds timeout) const
{
    return WaitForAnyLine(
        [](const std::string& line) {
            return IsReportOf(line, "TPV") && std::atoi(JsonMember(line, "mode").c_str()) >= 2;
        },
        timeout);
}

bool GpsdWatcher::WaitForLine(const std::string& line, std::chrono::milliseconds timeout) const
{
    return WaitForAnyLine([&](const std::string& each) { return each == line; }, timeout);
}

std::string GpsdWatcher::WaitForSourceOpened(std::chrono::milliseconds timeout) const
{
    // gpsd reports a source it opens on its own (DEVICE), or within the list it sends a client
    // that starts watching (DEVICES). An open one carries the time it was opened ("activated"),
    // a closed one 0.
    std::string path;
    WaitForAnyLine(
        [&](const std::string& line) {
            if (!IsReportOf(line, "DEVICE") && !IsReportOf(line, "DEVICES")) return false;
            for (const std::string& device : DeviceEntries(line))
                if (path.empty() && JsonMember(device, "activated").size() > 1)
                    path = JsonMember(device, "path");
            return !path.empty();
        },
        timeout);
    return path;
}

bool GpsdWatcher::WaitForSourceClosed(const std::string& path,
                                      std::chrono::milliseconds timeout) const
{
    return WaitForAnyLine(
        [&](const std::string& line) {
            return IsReportOf(line, "DEVICE") && JsonMember(line, "path") == path &&
                   JsonMember(line, "activated") == "0";
        },
        timeout);
}

std::vector<std::string> QueryGpsdDevices(int port)
{
    std::vector<std::string> paths;
    {  // gpsd sends no second DEVICES report to a client that watches nothing
        const GpsdReader reader(port, "?DEVICES;\n", [&paths](std::string_view text, auto) {
            const std::string line(text);
            if (IsReportOf(line, "DEVICES"))
                for (const std::string& device : DeviceEntries(line))
                    paths.push_back(JsonMember(device, "path"));
        });
    }
    return paths;
}

std::string JsonMember(const std::string& line, const std::string& name)
{
    const std::string key = "\"" + name + "\":";
    const std::size_t at = line.find(key);
    if (at == std::string::npos) return "";
    std::size_t from = at + key.size();
    if (from < line.size() && line[from] == '"') {
        ++from;
        return line.substr(from, line.find('"', from) - from);
    }
    const std::size_t end = line.find_first_of(",}\r\n", from);
    return line.substr(from, end == std::string::npos ? std::string::npos : end - from);
}

sockaddr_in SourceAddress(const std::string& source)
{
    const std::size_t colon = source.rfind(':');
    return TcpAddress(source.substr(6, colon - 6).c_str(), std::stoi(source.substr(colon + 1)));
}

bool IsNmeaLine(const std::string& line)
{
    return !line.empty() && (line[0] == '$' || line[0] == '!');
}
