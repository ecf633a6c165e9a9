#include "bench/bench_mode.h"

#include <cstdio>
#include <exception>
#include <string>

#include "bench/bench_selection.h"
#include "bench/flood_bench.h"
#include "bench/gpsd_bench.h"
#include "bench/latency_bench.h"
#include "bench/nmea_corpus.h"
#include "bench/paced_bench.h"
#include "tests/support/relay_model.h"

namespace {

// Small enough for a UART's receive FIFO to hand over at once: a finer-grained receiver than
// one that delivers whole sentences.
constexpr std::size_t kFifoChunk = 16;

bool RunAll(const BenchSettings& settings)
{
    const SentenceSelection selection = BenchSelection();
    const std::string corpus = GenerateNmeaCorpus(settings.corpusBytes);
    const std::string expected = ExpectedRelayOutput(corpus, selection);
    std::printf("Corpus: %zu bytes, %zu sentences; GSV deselected, %zu bytes to pass on\n",
                corpus.size(), CountSentences(corpus), expected.size());
    std::fflush(stdout);
    const FloodFigures flood = RunFloodBench(corpus, expected, selection, settings.rounds);
    std::fflush(stdout);
    bool correct = RunPacedBench(corpus, selection, settings.pacedSeconds, 0) && flood.correct;
    correct = RunPacedBench(corpus, selection, settings.pacedSeconds / 2, kFifoChunk) && correct;
    std::fflush(stdout);
    const LatencyFigures latency =
        RunLatencyAndIdleBench(corpus, selection, settings.latencySamples, settings.idleSeconds);
    std::fflush(stdout);
    const double sentencesPerMiB = static_cast<double>(CountSentences(corpus)) /
                                   static_cast<double>(corpus.size()) * (1 << 20);
    const PtyFigures pty{flood.relayMiBPerSecond * sentencesPerMiB, latency.relay};
    return RunGpsdChannelBench(corpus, selection, settings.latencySamples, pty) &&
           latency.correct && correct;
}

}  // namespace

int RunBenchmark(const BenchSettings& settings)
{
    try {
        if (RunAll(settings)) return 0;
        std::fprintf(stderr, "relay_bench: an output differed from what the rules give\n");
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "relay_bench: %s\n", failure.what());
    }
    return 1;
}
