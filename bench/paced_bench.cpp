#include "bench/paced_bench.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <string_view>
#include <vector>

#include "bench/bench_relay.h"
#include "bench/nmea_corpus.h"
#include "bench/pty_link.h"
#include "bench/verdict.h"
#include "platform/fd_io.h"
#include "tests/support/relay_model.h"

namespace {

using Clock = std::chrono::steady_clock;

void SleepSeconds(double seconds)
{
    timespec length{static_cast<time_t>(seconds),
                    static_cast<long>((seconds - static_cast<long>(seconds)) * 1e9)};
    while (clock_nanosleep(CLOCK_MONOTONIC, 0, &length, &length) == EINTR) {
    }
}

// A latency sample: the sentence whose arrival is timed, and what the relay makes of it.
struct HeldSentence {
    std::string_view sentence;
    std::string output;
};

// The corpus's sentences that the relay passes on, in order: only those give a sample.
std::vector<HeldSentence> SentencesWithOutput(std::string_view corpus,
                                              const SentenceSelection& selection, int count)
{
    std::vector<HeldSentence> held;
    std::size_t start = corpus.find('$');
    while (static_cast<int>(held.size()) < count) {
        const std::size_t next = corpus.find('$', start + 1);
        if (next == std::string_view::npos) break;
        const std::string_view sentence = corpus.substr(start, next - start);
        std::string output = ExpectedRelayOutput(std::string(sentence) + "$", selection);
        if (!output.empty()) held.push_back({sentence, std::move(output)});
        start = next;
    }
    return held;
}

double Percentile(const std::vector<double>& sorted, double fraction)
{
    const auto index = static_cast<std::size_t>(fraction * static_cast<double>(sorted.size() - 1));
    return sorted[index];
}

void ReportIdle(const ThreadUsage& idle, double seconds)
{
    std::printf(
        "Idle: %ld wake-ups of the relay thread in %.1f s of silence, CPU %.3f ms "
        "(target %ld: %s)\n",
        idle.Switches(), seconds, idle.cpuMs, kIdleWakeUpsTarget,
        Verdict(idle.Switches() <= kIdleWakeUpsTarget));
}

}  // namespace

bool RunPacedBench(const std::string& corpus, const SentenceSelection& selection, double seconds,
                   std::size_t chunkBytes)
{
    const std::string_view stream =
        WholeSentencesWithin(corpus, static_cast<std::size_t>(seconds * kPacedBaud / 10));
    const std::string expected = ExpectedRelayOutput(std::string(stream), selection);
    std::vector<char> into(expected.size());
    BenchRelay relay(selection, kPacedBaud);
    const ThreadUsage start = relay.Usage();
    const Transfer transfer = FeedAndCollect(relay.InputMaster(), relay.OutputMaster(), stream,
                                             into, Pace{kPacedBaud, chunkBytes});
    const ThreadUsage used = relay.Usage() - start;
    relay.Stop();
    const bool correct = transfer.complete &&
                         std::equal(into.begin(), into.end(), expected.begin()) &&
                         NothingMoreArrived(relay.OutputMaster());

    const auto sentences = static_cast<double>(CountSentences(stream));
    const double switches = static_cast<double>(used.Switches()) / sentences;
    char pieces[48] = "whole sentences";
    if (chunkBytes > 0) std::snprintf(pieces, sizeof pieces, "%zu-byte pieces", chunkBytes);
    std::printf(
        "Paced: %.0f sentences at %d baud in %s over %.1f s: relay CPU %.1f us/sentence, "
        "%.2f context switches/sentence (%.2f voluntary), output %s",
        sentences, kPacedBaud, pieces, transfer.seconds, used.cpuMs * 1000 / sentences, switches,
        static_cast<double>(used.voluntarySwitches) / sentences, correct ? "exact" : "WRONG");
    if (chunkBytes == 0)
        std::printf(" (target <= %.0f: %s)", kSwitchesTarget, Verdict(switches <= kSwitchesTarget));
    std::printf("\n");
    return correct;
}

bool RunLatencyAndIdleBench(const std::string& corpus, const SentenceSelection& selection,
                            int samples, double idleSeconds)
{
    const std::vector<HeldSentence> held = SentencesWithOutput(corpus, selection, samples + 1);
    if (held.size() < 2) return false;
    BenchRelay relay(selection, kPacedBaud);
    bool correct = WriteAllWithin(relay.InputMaster(), held[0].sentence.data(),
                                  held[0].sentence.size(), 10000);
    std::vector<double> latenciesMs;
    char into[256];
    for (std::size_t i = 0; correct && i + 1 < held.size(); ++i) {
        SleepSeconds(0.001);  // let the relay go back to sleep, as between sentences on a line
        const std::string& output = held[i].output;
        const auto start = Clock::now();
        correct = WriteAllWithin(relay.InputMaster(), held[i + 1].sentence.data(),
                                 held[i + 1].sentence.size(), 10000) &&
                  output.size() <= sizeof into &&
                  CollectInto(relay.OutputMaster(), {into, output.size()});
        latenciesMs.push_back(
            std::chrono::duration<double, std::milli>(Clock::now() - start).count());
        correct = correct && std::string_view(into, output.size()) == output;
    }
    const ThreadUsage idleStart = relay.Usage();
    SleepSeconds(idleSeconds);
    const ThreadUsage idle = relay.Usage() - idleStart;
    relay.Stop();

    std::sort(latenciesMs.begin(), latenciesMs.end());
    const double p99 = Percentile(latenciesMs, 0.99);
    std::printf(
        "Latency: next '$' written -> held sentence read at the output, %zu samples: "
        "median %.3f ms, p99 %.3f ms, max %.3f ms, output %s (target p99 < %.0f ms: %s)\n",
        latenciesMs.size(), Percentile(latenciesMs, 0.5), p99, latenciesMs.back(),
        correct ? "exact" : "WRONG", kLatencyTargetMs, Verdict(p99 < kLatencyTargetMs));
    ReportIdle(idle, idleSeconds);
    return correct;
}
