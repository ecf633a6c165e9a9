#include "bench/gpsd_tap.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>

#include "bench/channel_primer.h"
#include "platform/io/unique_fd.h"
#include "tests/support/gpsd_client.h"

namespace {

constexpr char kWatchNmea[] = "?WATCH={\"enable\":true,\"json\":false,\"nmea\":true}\n";
constexpr auto kWatchTimeout = std::chrono::seconds(10);
// Several seconds of gpsd's output at full speed, as far as the system lets a user ask.
constexpr int kReceiveBufferBytes = 16 << 20;
constexpr std::size_t kReadBytes = 256 * 1024;

}  // namespace

struct GpsdNmeaTap::Reader {
    Reader(int port, Sink lineSink)
        : fd(ConnectToGpsd(port)), wakeFd(eventfd(0, EFD_CLOEXEC)), sink(std::move(lineSink))
    {
        setsockopt(fd.get(), SOL_SOCKET, SO_RCVBUF, &kReceiveBufferBytes,
                   sizeof kReceiveBufferBytes);
        carried.reserve(4096);
        thread = std::thread(&Reader::Run, this);
    }
    ~Reader()
    {
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t ignored = ::write(wakeFd.get(), &one, sizeof one);
        thread.join();
    }

    UniqueFd fd;
    UniqueFd wakeFd;
    Sink sink;
    std::string carried;  // the start of a line whose end has not come yet
    std::atomic<bool> disconnected{false};
    std::mutex guard;
    std::condition_variable watchConfirmed;
    bool watching = false;
    std::condition_variable primerReported;
    long long primers = 0;
    std::thread thread;

    void Line(std::string_view line, Clock::time_point arrived)
    {
        if (IsPrimer(line)) {
            std::lock_guard lock(guard);
            ++primers;
            primerReported.notify_all();
        } else if (line.starts_with('$') || line.starts_with('!')) {
            sink(line, arrived);
        } else if (line.find("\"class\":\"WATCH\"") != std::string_view::npos) {
            std::lock_guard lock(guard);
            watching = true;
            watchConfirmed.notify_all();
        }  // gpsd's greeting and device list say nothing about the sentences
    }

    // Cuts what arrived into lines; the last, unfinished one is carried to the next read.
    void Split(std::string_view data, Clock::time_point arrived)
    {
        for (std::size_t end; (end = data.find('\n')) != std::string_view::npos;) {
            const std::string_view head = data.substr(0, end + 1);
            data.remove_prefix(end + 1);
            if (carried.empty()) {
                Line(head, arrived);
                continue;
            }
            carried.append(head);
            Line(carried, arrived);
            carried.clear();
        }
        carried.append(data);
    }

    // Sleeps in poll() until gpsd sends or the destructor wakes it.
    void Run()
    {
        const auto buffer = std::make_unique<char[]>(kReadBytes);
        for (;;) {
            pollfd waits[2] = {{fd.get(), POLLIN, 0}, {wakeFd.get(), POLLIN, 0}};
            if (::poll(waits, 2, -1) < 0 && errno != EINTR) break;
            if (waits[1].revents) return;
            if (!waits[0].revents) continue;
            const ssize_t count = ::recv(fd.get(), buffer.get(), kReadBytes, 0);
            if (count < 0 && errno == EINTR) continue;
            if (count <= 0) break;
            Split({buffer.get(), static_cast<std::size_t>(count)}, Clock::now());
        }
        disconnected.store(true);
        std::lock_guard lock(guard);
        watchConfirmed.notify_all();
    }
};

GpsdNmeaTap::GpsdNmeaTap(int port, Sink sink)
    : reader_(std::make_unique<Reader>(port, std::move(sink)))
{
    Reader& r = *reader_;
    if (::send(r.fd.get(), kWatchNmea, sizeof kWatchNmea - 1, MSG_NOSIGNAL) !=
        static_cast<ssize_t>(sizeof kWatchNmea - 1))
        throw std::runtime_error("cannot send the watch to gpsd");
    std::unique_lock lock(r.guard);
    if (!r.watchConfirmed.wait_for(lock, kWatchTimeout,
                                   [&] { return r.watching || r.disconnected.load(); }) ||
        !r.watching)
        throw std::runtime_error("gpsd did not confirm the watch");
}

GpsdNmeaTap::~GpsdNmeaTap() = default;

bool GpsdNmeaTap::Disconnected() const
{
    return reader_->disconnected.load();
}

bool GpsdNmeaTap::WaitForPrimer(std::chrono::milliseconds timeout) const
{
    Reader& r = *reader_;
    std::unique_lock lock(r.guard);
    return r.primerReported.wait_for(lock, timeout, [&] { return r.primers > 0; });
}
