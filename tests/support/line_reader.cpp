#include "tests/support/line_reader.h"

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

std::optional<std::string> LineReader::Next(const std::function<bool(const std::string&)>& wanted,
                                            std::chrono::steady_clock::time_point deadline)
{
    for (;;) {
        for (; nextLine_ < lines_.size(); ++nextLine_)
            if (wanted(lines_[nextLine_])) return lines_[nextLine_++];
        if (!ReadMore(deadline)) return std::nullopt;
    }
}

// Reads what the descriptor has; false at the deadline or when the writer has gone.
bool LineReader::ReadMore(std::chrono::steady_clock::time_point deadline)
{
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    pollfd ready{fd_, POLLIN, 0};
    const int polled = ::poll(&ready, 1, static_cast<int>(std::max<long long>(0, left.count())));
    if (polled < 0 && errno == EINTR) return true;
    if (polled <= 0) return false;
    char buffer[4096];
    const ssize_t count = ::read(fd_, buffer, sizeof buffer);
    if (count <= 0) return count < 0 && errno == EAGAIN;
    partialLine_.append(buffer, static_cast<std::size_t>(count));
    for (std::size_t end; (end = partialLine_.find('\n')) != std::string::npos;) {
        std::string line = partialLine_.substr(0, end);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        lines_.push_back(line);
        partialLine_.erase(0, end + 1);
    }
    return true;
}
