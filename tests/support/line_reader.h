// Lines that another process writes on a descriptor (a child's report pipe, the UART guest's
// console and QEMU's monitor), kept as they come: a waiter looks for the next line it wants and
// reads on, under a deadline, until it is there.
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class LineReader {
public:
    // `fd` is non-blocking and stays the caller's.
    explicit LineReader(int fd) : fd_(fd) {}

    // The next line after the one last returned that `wanted` accepts, skipping (but keeping)
    // the lines before it; nothing when the deadline passed or the writer has gone.
    std::optional<std::string> Next(const std::function<bool(const std::string&)>& wanted,
                                    std::chrono::steady_clock::time_point deadline);

    // Every line so far, without its line end.
    const std::vector<std::string>& Lines() const { return lines_; }

private:
    bool ReadMore(std::chrono::steady_clock::time_point deadline);

    int fd_;
    std::string partialLine_;
    std::vector<std::string> lines_;
    std::size_t nextLine_ = 0;
};
