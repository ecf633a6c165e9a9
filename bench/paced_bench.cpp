#include "bench/paced_bench.h"

#include <algorithm>
#include <cstdio>
#include <string_view>
#include <vector>

#include "bench/nmea_corpus.h"
#include "bench/pty_link.h"
#include "bench/verdict.h"
#include "tests/support/relay_model.h"

bool RunPacedBench(const std::string& corpus, const SentenceSelection& selection, double seconds,
                   std::size_t chunkBytes)
{
    const std::string_view stream =
        WholeSentencesWithin(corpus, static_cast<std::size_t>(seconds * kPacedBaud / 10));
    const std::string expected = ExpectedRelayOutput(std::string(stream), selection);
    std::vector<char> into(expected.size());
    RelayHarness relay;
    StartMeasuredRelay(relay, selection, kPacedBaud);
    const ThreadUsage start = relay.Usage();
    const Transfer transfer = FeedAndCollect(relay.input().Master(), relay.output().Master(),
                                             stream, into, Pace{kPacedBaud, chunkBytes});
    const ThreadUsage used = relay.Usage() - start;
    relay.Stop();
    const bool correct = transfer.complete &&
                         std::equal(into.begin(), into.end(), expected.begin()) &&
                         NothingMoreArrived(relay.output().Master());

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
