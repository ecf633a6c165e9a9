#include "bench/latency_bench.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <string_view>
#include <vector>

#include "bench/baseline_run.h"
#include "bench/paced_bench.h"
#include "bench/pty_link.h"
#include "bench/verdict.h"
#include "platform/io/fd_io.h"
#include "tests/support/relay_model.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr int kWriteTimeoutMs = 10000;

// One middle under test: where sentences go in and come out, and which one it holds.
struct LatencyPath {
    LatencyPath(int in, int out) : input(in), output(out) {}

    int input;
    int output;
    std::size_t next = 0;  // the sentence to write next; the one before it is held
    std::vector<double> ms;
    bool correct = true;
};

bool WriteNext(LatencyPath& path, const std::vector<HeldSentence>& held)
{
    const std::string_view sentence = held[path.next++].sentence;
    return WriteAllWithin(path.input, sentence.data(), sentence.size(), kWriteTimeoutMs);
}

// Writes the next sentence, whose '$' ends the held one, and times until that one arrived.
bool TimeHeldSentence(LatencyPath& path, const std::vector<HeldSentence>& held)
{
    SleepSeconds(0.001);  // let the middle go back to sleep, as between sentences on a line
    const std::string& expected = held[path.next - 1].output;
    char into[256];
    const auto start = Clock::now();
    path.correct = WriteNext(path, held) && expected.size() <= sizeof into &&
                   CollectInto(path.output, {into, expected.size()});
    path.ms.push_back(std::chrono::duration<double, std::milli>(Clock::now() - start).count());
    path.correct = path.correct && std::string_view(into, expected.size()) == expected;
    return path.correct;
}

// Sample by sample in turn, so that a busy spell of the machine falls on both alike.
void Alternate(LatencyPath& relay, LatencyPath& floor, const std::vector<HeldSentence>& held,
               int samples)
{
    bool ok = WriteNext(relay, held) && WriteNext(floor, held);
    for (int i = 0; ok && i < samples; ++i)
        ok = TimeHeldSentence(relay, held) && TimeHeldSentence(floor, held);
    relay.correct = relay.correct && ok;
}

}  // namespace

void SleepSeconds(double seconds)
{
    timespec length{static_cast<time_t>(seconds),
                    static_cast<long>((seconds - static_cast<long>(seconds)) * 1e9)};
    while (clock_nanosleep(CLOCK_MONOTONIC, 0, &length, &length) == EINTR) {
    }
}

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

void PrintLatencies(const char* name, const Latencies& l, bool correct)
{
    std::printf("  %-24s median %.3f ms, p99 %.3f ms, max %.3f ms, output %s", name, l.median,
                l.p99, l.max, correct ? "exact" : "WRONG");
}

Latencies SummarizeLatencies(std::vector<double> ms)
{
    if (ms.empty()) return {};
    std::sort(ms.begin(), ms.end());
    const auto at = [&](double f) { return ms[static_cast<std::size_t>(f * (ms.size() - 1))]; };
    return {at(0.5), at(0.99), ms.back()};
}

LatencyFigures RunLatencyAndIdleBench(const std::string& corpus, const SentenceSelection& selection,
                                      int samples, double idleSeconds)
{
    // Both paths are sent the same sentences, each from the first.
    const std::vector<HeldSentence> held = SentencesWithOutput(corpus, selection, samples + 1);
    if (held.size() < static_cast<std::size_t>(samples) + 1) return {};
    RelayHarness relay;
    StartMeasuredRelay(relay, selection, kPacedBaud);
    BaselineRun floor(BaselineLoop::kOneWritePerSentence, selection);
    LatencyPath relayPath{relay.input().Master(), relay.output().Master()};
    LatencyPath floorPath{floor.InputMaster(), floor.OutputMaster()};
    Alternate(relayPath, floorPath, held, samples);
    floor.Stop();
    const ThreadUsage idleStart = relay.Usage();
    SleepSeconds(idleSeconds);
    const ThreadUsage idle = relay.Usage() - idleStart;
    relay.Stop();

    std::printf(
        "Latency: next sentence written (its '$' ends the held one) -> held sentence read "
        "at the output, %d samples each, taken in turn\n",
        samples);
    const Latencies relayLatency = SummarizeLatencies(relayPath.ms);
    PrintLatencies("relay", relayLatency, relayPath.correct);
    std::printf(" (target p99 < %.0f ms: %s)\n", kLatencyTargetMs,
                Verdict(relayPath.correct && relayLatency.p99 < kLatencyTargetMs));
    PrintLatencies("one write per sentence", SummarizeLatencies(floorPath.ms), floorPath.correct);
    std::printf(" (the same hops without the relay's code)\n");
    std::printf(
        "Idle: %ld wake-ups of the relay thread in %.1f s of silence, CPU %.3f ms "
        "(target %ld: %s)\n",
        idle.Switches(), idleSeconds, idle.cpuMs, kIdleWakeUpsTarget,
        Verdict(idle.Switches() <= kIdleWakeUpsTarget));
    return {relayPath.correct && floorPath.correct, relayLatency};
}
