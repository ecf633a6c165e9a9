#include "bench/soak_leg.h"

#include <poll.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "bench/gpsd_tap.h"
#include "bench/pty_link.h"
#include "platform/io/fd_io.h"
#include "tests/support/private_gpsd.h"
#include "tests/support/thread_usage.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kBaud = 115200;  // a pty ignores the rate; it only has to be a valid one
constexpr int kStallMs = 10000;
constexpr std::size_t kReadBytes = 65536;

struct Feed {
    SentenceBytes fed;
    long rssFlowingKiB = -1;
};

Feed FeedSoakStream(int master, long long sentences)
{
    SoakStream stream(sentences);
    std::string piece;
    ReserveTouched(piece, kSoakPieceBytes + 4096);
    Feed feed;
    while (stream.Next(piece)) {
        if (!WriteAllWithin(master, piece.data(), piece.size(), kStallMs)) return feed;
        feed.fed = {stream.Sentences(), stream.Bytes()};
        if (feed.rssFlowingKiB < 0 && stream.Sentences() * 10 >= sentences)
            feed.rssFlowingKiB = ResidentKiB();
    }
    WriteAllWithin(master, "$", 1, kStallMs);
    return feed;
}

// Reads the output pty into the check until every expected sentence arrived, or nothing came
// for kStallMs.
void CollectFromPty(int master, OutputCheck& check)
{
    const auto buffer = std::make_unique<char[]>(kReadBytes);
    while (!check.AllArrived()) {
        pollfd ready{master, POLLIN, 0};
        if (PollRetrying(&ready, 1, kStallMs) <= 0) return;
        const ssize_t count = ReadRetrying(master, buffer.get(), kReadBytes);
        if (count > 0)
            check.Consume({buffer.get(), static_cast<std::size_t>(count)});
        else if (count == 0 || errno != EAGAIN)
            return;
    }
}

// Whatever came after the last expected sentence, up to now.
void CollectLeftovers(int master, OutputCheck& check)
{
    char buffer[4096];
    for (ssize_t count; (count = ReadRetrying(master, buffer, sizeof buffer)) > 0;)
        check.Consume({buffer, static_cast<std::size_t>(count)});
}

// The check, fed on the watch's reader thread in the gpsd leg (this thread only waits for
// it), or on this thread from the output pty.
struct GuardedCheck {
    GuardedCheck(long long sentences, const SentenceSelection& selection)
        : check(sentences, selection)
    {
    }

    void Consume(std::string_view line)
    {
        std::lock_guard lock(guard);
        check.Consume(line);
        ++lines;
        if (check.AllArrived()) arrived.notify_all();
    }

    // Until every expected sentence arrived, or no line came for kStallMs.
    void Wait()
    {
        std::unique_lock lock(guard);
        for (long long seen = -1; !check.AllArrived() && lines != seen;) {
            seen = lines;
            arrived.wait_for(lock, std::chrono::milliseconds(kStallMs),
                             [&] { return check.AllArrived(); });
        }
    }

    std::mutex guard;
    std::condition_variable arrived;
    OutputCheck check;
    long long lines = 0;
};

void TakeCounts(const OutputCheck& check, LegFigures& figures)
{
    figures.expected = check.Expected();
    figures.delivered = check.Delivered();
    figures.lost = check.Lost();
    figures.corrupted = check.Corrupted();
}

}  // namespace

LegFigures RunSoakLeg(long long sentences, const SentenceSelection& selection,
                      const PrivateGpsd* gpsd)
{
    GuardedCheck guarded(sentences, selection);
    std::unique_ptr<GpsdNmeaTap> tap;  // watching before the relay starts, so gpsd reads at once
    if (gpsd)
        tap = std::make_unique<GpsdNmeaTap>(
            gpsd->ClientPort(),
            [&](std::string_view line, GpsdNmeaTap::Clock::time_point) { guarded.Consume(line); });
    RelayHarness relay(gpsd ? RelayOutput::kGpsd : RelayOutput::kPty);
    StartMeasuredRelay(relay, selection, kBaud);
    if (gpsd && !tap->Prime(relay.input().Master()))
        throw std::runtime_error("gpsd reported none of the primers sent through the channel");
    LegFigures figures;
    const ThreadUsage usageStart = relay.Usage();
    const double gpsdCpuStart = gpsd ? ProcessCpuMs(gpsd->Pid()) : 0;
    const auto start = Clock::now();
    Feed feed;
    std::thread feeder([&] { feed = FeedSoakStream(relay.input().Master(), sentences); });
    if (gpsd)
        guarded.Wait();
    else
        CollectFromPty(relay.output().Master(), guarded.check);
    figures.seconds = std::chrono::duration<double>(Clock::now() - start).count();
    figures.relayCpuMs = (relay.Usage() - usageStart).cpuMs;
    if (gpsd) figures.gpsdCpuMs = ProcessCpuMs(gpsd->Pid()) - gpsdCpuStart;
    figures.rssEndKiB = ResidentKiB();
    feeder.join();
    relay.Stop();
    if (gpsd) {
        figures.watchDropped = tap->Disconnected();
        tap.reset();  // its thread has ended: the check is this thread's alone from here
    } else {
        CollectLeftovers(relay.output().Master(), guarded.check);
    }
    guarded.check.Finish();
    figures.input = feed.fed;
    figures.rssFlowingKiB = feed.rssFlowingKiB;
    TakeCounts(guarded.check, figures);
    return figures;
}
