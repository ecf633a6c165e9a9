#include "bench/pty_link.h"

#include <fcntl.h>
#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <ctime>
#include <stdexcept>
#include <thread>

#include "platform/io/fd_io.h"

namespace {

constexpr int kStallMs = 10000;
constexpr std::size_t kFloodChunk = 65536;

using Clock = std::chrono::steady_clock;

timespec MonotonicNow()
{
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now;
}

timespec AddNanoseconds(timespec at, long long ns)
{
    const long long total = at.tv_nsec + ns;
    at.tv_sec += static_cast<time_t>(total / 1000000000);
    at.tv_nsec = static_cast<long>(total % 1000000000);
    return at;
}

// Where the next piece ends: a whole sentence (up to the next '$'), or `chunk` bytes.
std::size_t PieceEnd(std::string_view input, std::size_t from, std::size_t chunk)
{
    if (chunk > 0) return std::min(input.size(), from + chunk);
    const std::size_t next = input.find('$', from + 1);
    return next == std::string_view::npos ? input.size() : next;
}

// Sleeps (in the kernel, to an absolute time) until each piece has "arrived" at the line rate.
bool FeedPaced(int master, std::string_view input, Pace pace)
{
    const timespec start = MonotonicNow();
    const long long nsPerByte = 10LL * 1000000000 / pace.baud;
    for (std::size_t from = 0; from < input.size();) {
        const std::size_t end = PieceEnd(input, from, pace.chunkBytes);
        const timespec due = AddNanoseconds(start, static_cast<long long>(end) * nsPerByte);
        while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &due, nullptr) == EINTR) {
        }
        if (!WriteAllWithin(master, input.data() + from, end - from, kStallMs)) return false;
        from = end;
    }
    return true;
}

bool FeedFlatOut(int master, std::string_view input)
{
    for (std::size_t from = 0; from < input.size(); from += kFloodChunk) {
        const std::size_t count = std::min(kFloodChunk, input.size() - from);
        if (!WriteAllWithin(master, input.data() + from, count, kStallMs)) return false;
    }
    return true;
}

}  // namespace

void StartMeasuredRelay(RelayHarness& relay, const SentenceSelection& selection, int baud)
{
    if (!relay.Start(selection, baud)) throw std::runtime_error("the relay did not start");
    if (relay.RelayThread() < 0)
        throw std::runtime_error("the relay thread was not found in /proc/self/task");
}

UniqueFd OpenSlave(const std::string& path)
{
    UniqueFd slave{::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC)};
    if (!slave) throw std::runtime_error("cannot open " + path);
    return slave;
}

Transfer FeedAndCollect(int inputMaster, int outputMaster, std::string_view input,
                        std::span<char> into, Pace pace)
{
    const auto start = Clock::now();
    std::thread writer([&] {
        if (pace.baud > 0)
            FeedPaced(inputMaster, input, pace);
        else
            FeedFlatOut(inputMaster, input);
    });
    Transfer transfer;
    transfer.complete = CollectInto(outputMaster, into);
    transfer.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    writer.join();
    return transfer;
}

bool CollectInto(int master, std::span<char> into)
{
    std::size_t filled = 0;
    while (filled < into.size()) {
        pollfd ready{master, POLLIN, 0};
        if (PollRetrying(&ready, 1, kStallMs) <= 0) return false;
        const ssize_t n = ReadRetrying(master, into.data() + filled, into.size() - filled);
        if (n > 0)
            filled += static_cast<std::size_t>(n);
        else if (n == 0 || errno != EAGAIN)
            return false;
    }
    return true;
}

bool NothingMoreArrived(int outputMaster)
{
    char byte;
    return ReadRetrying(outputMaster, &byte, 1) <= 0;
}
