#include "bench/gpsd_bench.h"

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <exception>
#include <mutex>

#include "bench/gpsd_tap.h"
#include "bench/nmea_corpus.h"
#include "bench/pty_link.h"
#include "bench/soak_leg.h"
#include "platform/io/fd_io.h"
#include "tests/support/private_gpsd.h"

namespace {

using Clock = GpsdNmeaTap::Clock;

constexpr int kBaud = 115200;
constexpr int kWriteTimeoutMs = 10000;
constexpr auto kReportTimeout = std::chrono::seconds(10);

bool RunChannelFlood(const std::string& corpus, const SentenceSelection& selection,
                     const PrivateGpsd& gpsd, double ptySentencesPerSecond)
{
    const LegFigures f =
        RunSoakLeg(static_cast<long long>(CountSentences(corpus)), selection, &gpsd);
    const bool exact = f.lost.bytes == 0 && f.corrupted.bytes == 0 && f.expected.bytes > 0;
    const double rate = static_cast<double>(f.input.sentences) / f.seconds;
    const double mib = static_cast<double>(f.input.bytes) / (1 << 20);
    std::printf(
        "  flood: %lld sentences in %.2f s: %.0f sentences/s through the relay into gpsd, "
        "%.1f MiB/s (pty -> relay -> pty above: %.0f sentences/s; gpsd/pty %.2f); CPU ms/MiB: "
        "relay thread %.1f, gpsd %.1f; output %s\n",
        f.input.sentences, f.seconds, rate, mib / f.seconds, ptySentencesPerSecond,
        rate / ptySentencesPerSecond, f.relayCpuMs / mib, f.gpsdCpuMs / mib,
        exact ? "exact" : "WRONG");
    return exact;
}

// gpsd's reports as they come, one at a time: each sample waits for exactly one.
struct Reports {
    std::mutex guard;
    std::condition_variable arrived;
    std::string line;
    Clock::time_point at;
    long long count = 0;

    void Take(std::string_view text, Clock::time_point when)
    {
        std::lock_guard lock(guard);
        line.assign(text);
        at = when;
        ++count;
        arrived.notify_all();
    }
};

bool RunChannelLatency(const std::string& corpus, const SentenceSelection& selection,
                       const PrivateGpsd& gpsd, int samples, const Latencies& ptyLatency)
{
    const std::vector<HeldSentence> held = SentencesWithOutput(corpus, selection, samples + 1);
    if (held.size() < static_cast<std::size_t>(samples) + 1) return false;
    Reports reports;
    GpsdNmeaTap tap(gpsd.ClientPort(),
                    [&](std::string_view line, Clock::time_point at) { reports.Take(line, at); });
    RelayHarness relay(RelayOutput::kGpsd);
    StartMeasuredRelay(relay, selection, kBaud);
    const bool primed = tap.Prime(relay.input().Master());
    std::vector<double> ms;
    bool correct = primed && WriteAllWithin(relay.input().Master(), held[0].sentence.data(),
                                            held[0].sentence.size(), kWriteTimeoutMs);
    for (int i = 0; correct && i < samples; ++i) {
        SleepSeconds(0.001);  // let the relay and gpsd go back to sleep, as between sentences
        const std::string_view next = held[i + 1].sentence;
        const auto start = Clock::now();
        correct = WriteAllWithin(relay.input().Master(), next.data(), next.size(), kWriteTimeoutMs);
        std::unique_lock lock(reports.guard);
        correct = correct &&
                  reports.arrived.wait_for(lock, kReportTimeout, [&] { return reports.count > i; });
        correct = correct && reports.count == i + 1 && reports.line == held[i].output;
        ms.push_back(std::chrono::duration<double, std::milli>(reports.at - start).count());
    }
    relay.Stop();
    std::printf(
        "  latency: next sentence written (its '$' ends the held one) -> gpsd's report of the "
        "held one read by the watch, %zu samples\n",
        ms.size());
    PrintLatencies("relay -> gpsd", SummarizeLatencies(ms), correct);
    std::printf("\n");
    PrintLatencies("relay -> pty", ptyLatency, true);
    std::printf(" (above)\n");
    return correct;
}

}  // namespace

bool RunGpsdChannelBench(const std::string& corpus, const SentenceSelection& selection,
                         int latencySamples, const PtyFigures& pty)
{
    std::printf(
        "GPS service channel: pty -> relay -> a private gpsd started here, each sentence "
        "checked as gpsd reports it to a raw NMEA watch\n");
    if (!GpsdInstalled()) {
        std::printf("  no figures: gpsd is not installed (Debian package gpsd)\n");
        return true;
    }
    // A gpsd of its own for each: gpsd opens a source added within two seconds of the last
    // one's opening only when something else wakes it, so a second run would wait in vain.
    try {
        std::fflush(stdout);
        const bool correct = RunChannelFlood(corpus, selection, PrivateGpsd(GpsdLog::kQuiet),
                                             pty.sentencesPerSecond);
        std::fflush(stdout);
        return RunChannelLatency(corpus, selection, PrivateGpsd(GpsdLog::kQuiet), latencySamples,
                                 pty.latency) &&
               correct;
    } catch (const std::exception& failure) {
        std::printf("  no figures: %s\n", failure.what());
        return false;
    }
}
