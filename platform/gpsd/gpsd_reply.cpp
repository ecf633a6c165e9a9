#include "platform/gpsd/gpsd_reply.h"

#include <cstring>
#include <string_view>

namespace {

struct StatusLine {
    std::string_view text;
    GpsdReplyStatus status;
};

constexpr StatusLine kStatusLines[] = {
    {"OK", GpsdReplyStatus::kDone},                       // 3.22
    {"ERROR", GpsdReplyStatus::kRefused},                 // 3.22
    {R"({"class":"ACK"})", GpsdReplyStatus::kDone},       // 3.25, add and remove
    {R"({"class":"OK"})", GpsdReplyStatus::kDone},        // 3.25, after a list
    {R"({"class":"ERROR"})", GpsdReplyStatus::kRefused},  // 3.25
};

// The line at `from` without its line end; `next` is where the following one starts. Only whole
// lines count: a last line without '\n' was cut short.
bool NextLine(std::string_view text, std::size_t from, std::string_view& line, std::size_t& next)
{
    const std::size_t end = text.find('\n', from);
    if (end == std::string_view::npos) return false;
    line = text.substr(from, end - from);
    if (line.ends_with('\r')) line.remove_suffix(1);
    next = end + 1;
    return true;
}

}  // namespace

GpsdReply ParseGpsdReply(const char* reply, std::size_t length)
{
    const std::string_view text(reply, length);
    std::string_view line;
    for (std::size_t at = 0, next; NextLine(text, at, line, next); at = next)
        for (const StatusLine& status : kStatusLines)
            if (line == status.text) return {status.status, at};
    return {GpsdReplyStatus::kMalformed, 0};
}

bool GpsdListHolds(const char* reply, std::size_t listLength, const char* source)
{
    const std::string_view list(reply, listLength);
    std::string_view line;
    for (std::size_t at = 0, next; NextLine(list, at, line, next); at = next)
        if (line == source) return true;
    return false;
}
