#include "bench/flood_bench.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <span>
#include <string_view>
#include <vector>

#include "bench/baseline_run.h"
#include "bench/pty_link.h"
#include "bench/verdict.h"

namespace {

constexpr double kMiB = 1024.0 * 1024.0;
constexpr int kBaud = 115200;  // a pty ignores the rate; it only has to be a valid one

struct FloodRun {
    double mibPerSecond = 0;
    double cpuMsPerMib = 0;
    bool correct = false;
    long rssStartKiB = -1;  // the relay's runs only: with the thread started, before the flood
    long rssEndKiB = -1;    // and after it, the thread stopped
};

struct Flood {
    std::string_view input;
    std::string_view expected;  // what must arrive at the output
    std::span<char> into;       // room for it, touched beforehand
};

bool Arrived(const Flood& flood, const Transfer& transfer)
{
    return transfer.complete &&
           std::memcmp(flood.into.data(), flood.expected.data(), flood.expected.size()) == 0;
}

FloodRun Figures(const Flood& flood, const Transfer& transfer, const ThreadUsage& used,
                 bool correct)
{
    const double mib = static_cast<double>(flood.input.size()) / kMiB;
    return {mib / transfer.seconds, used.cpuMs / mib, correct};
}

FloodRun RunBaseline(BaselineLoop loop, const Flood& flood, const SentenceSelection& selection)
{
    BaselineRun baseline(loop, selection);
    const Transfer transfer = FeedAndCollect(baseline.InputMaster(), baseline.OutputMaster(),
                                             flood.input, flood.into.first(flood.expected.size()));
    const bool nothingMore = NothingMoreArrived(baseline.OutputMaster());
    const ThreadUsage used = baseline.Stop();
    return Figures(flood, transfer, used, Arrived(flood, transfer) && nothingMore);
}

FloodRun RunRelay(const Flood& flood, const SentenceSelection& selection)
{
    RelayHarness relay;
    StartMeasuredRelay(relay, selection, kBaud);
    const long rssStart = ResidentKiB();
    const ThreadUsage start = relay.Usage();
    const Transfer transfer = FeedAndCollect(relay.input().Master(), relay.output().Master(),
                                             flood.input, flood.into.first(flood.expected.size()));
    const ThreadUsage used = relay.Usage() - start;
    relay.Stop();
    const bool nothingMore = NothingMoreArrived(relay.output().Master());
    FloodRun run = Figures(flood, transfer, used, Arrived(flood, transfer) && nothingMore);
    run.rssStartKiB = rssStart;
    run.rssEndKiB = ResidentKiB();
    return run;
}

double Median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    const std::size_t n = values.size();
    return n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
}

struct Summary {
    double mibPerSecond, low, high, cpuMsPerMib;
    bool allCorrect;
};

Summary Summarize(const std::vector<FloodRun>& runs)
{
    std::vector<double> rates, cpu;
    bool allCorrect = true;
    for (const FloodRun& run : runs) {
        rates.push_back(run.mibPerSecond);
        cpu.push_back(run.cpuMsPerMib);
        allCorrect = allCorrect && run.correct;
    }
    return {Median(rates), *std::min_element(rates.begin(), rates.end()),
            *std::max_element(rates.begin(), rates.end()), Median(cpu), allCorrect};
}

struct Ratio {
    double median, low, high;
};

// The throughput ratio a/b of each round, summarized over the rounds.
Ratio Ratios(const std::vector<FloodRun>& a, const std::vector<FloodRun>& b)
{
    std::vector<double> ratios;
    for (std::size_t i = 0; i < a.size(); ++i)
        ratios.push_back(a[i].mibPerSecond / b[i].mibPerSecond);
    return {Median(ratios), *std::min_element(ratios.begin(), ratios.end()),
            *std::max_element(ratios.begin(), ratios.end())};
}

void PrintRow(const char* name, const Summary& s)
{
    std::printf("  %-24s %8.1f MiB/s [%.1f-%.1f]  CPU %7.1f ms/MiB  output %s\n", name,
                s.mibPerSecond, s.low, s.high, s.cpuMsPerMib, s.allCorrect ? "exact" : "WRONG");
}

}  // namespace

FloodFigures RunFloodBench(const std::string& corpus, const std::string& expected,
                           const SentenceSelection& selection, int rounds)
{
    std::vector<char> room(std::max(corpus.size(), expected.size()), '\0');
    const Flood copied{corpus, corpus, room};  // the copy loop passes everything on
    const Flood relayed{corpus, expected, room};
    std::vector<FloodRun> copy, floor, relay;
    for (int round = 0; round < rounds; ++round) {
        // Every other round in reverse order, so that a machine growing busier or quieter over
        // the run favours none of the three.
        const auto runCopy = [&] {
            copy.push_back(RunBaseline(BaselineLoop::kCopy, copied, selection));
        };
        const auto runRelay = [&] { relay.push_back(RunRelay(relayed, selection)); };
        round % 2 ? runRelay() : runCopy();
        floor.push_back(RunBaseline(BaselineLoop::kOneWritePerSentence, relayed, selection));
        round % 2 ? runCopy() : runRelay();
    }

    std::printf(
        "Flood: %.1f MiB pushed through pty -> middle -> pty, median of %d round%s "
        "[min-max], CPU of the middle thread\n",
        static_cast<double>(corpus.size()) / kMiB, rounds, rounds == 1 ? "" : "s");
    const Summary c = Summarize(copy), f = Summarize(floor), r = Summarize(relay);
    PrintRow("plain copy", c);
    PrintRow("one write per sentence", f);
    PrintRow("relay", r);
    // Each ratio is taken within a round, between runs a few seconds apart, and then the median
    // over the rounds: the machine's load swings too much for a ratio of overall medians.
    const Ratio toFloor = Ratios(relay, floor), toCopy = Ratios(relay, copy);
    std::printf(
        "  relay/floor %.2f [%.2f-%.2f] (target >= %.2f: %s), relay/copy %.2f [%.2f-%.2f]\n",
        toFloor.median, toFloor.low, toFloor.high, kFloodTarget,
        Verdict(toFloor.median >= kFloodTarget), toCopy.median, toCopy.low, toCopy.high);
    const long before = relay.front().rssStartKiB, after = relay.back().rssEndKiB;
    const long growth = after - before;
    std::printf(
        "Memory: VmRSS %ld KiB with the relay started before its first flood, %ld KiB "
        "after its last (%+ld KiB; target <= %ld KiB growth: %s)\n",
        before, after, growth, kMemoryGrowthTargetKiB, Verdict(growth <= kMemoryGrowthTargetKiB));
    return {c.allCorrect && f.allCorrect && r.allCorrect, r.mibPerSecond};
}
