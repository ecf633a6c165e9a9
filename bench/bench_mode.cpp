#include "bench/bench_mode.h"

#include <cstdio>
#include <exception>
#include <string>

#include "bench/flood_bench.h"
#include "bench/latency_bench.h"
#include "bench/nmea_corpus.h"
#include "bench/paced_bench.h"
#include "tests/support/relay_model.h"

namespace {

// Small enough for a UART's receive FIFO to hand over at once: a finer-grained receiver than
// one that delivers whole sentences.
constexpr std::size_t kFifoChunk = 16;

SentenceSelection WithoutGsv()
{
    SentenceSelection selection;
    selection.gsv = 0;
    return selection;
}

bool RunAll(const BenchSettings& settings)
{
    const SentenceSelection selection = WithoutGsv();
    const std::string corpus = GenerateNmeaCorpus(settings.corpusBytes);
    const std::string expected = ExpectedRelayOutput(corpus, selection);
    std::printf("Corpus: %zu bytes, %zu sentences; GSV deselected, %zu bytes to pass on\n",
                corpus.size(), CountSentences(corpus), expected.size());
    std::fflush(stdout);
    bool correct = RunFloodBench(corpus, expected, selection, settings.rounds);
    std::fflush(stdout);
    correct = RunPacedBench(corpus, selection, settings.pacedSeconds, 0) && correct;
    correct = RunPacedBench(corpus, selection, settings.pacedSeconds / 2, kFifoChunk) && correct;
    std::fflush(stdout);
    return RunLatencyAndIdleBench(corpus, selection, settings.latencySamples,
                                  settings.idleSeconds) &&
           correct;
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
