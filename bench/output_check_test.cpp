// The soak's judge: it says "0 lost, 0 corrupted" for a gigabyte nobody reads, so it must count
// every kind of damage a relay or a slow gpsd client could do, wherever the output was cut
// into reads.
#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <string>
#include <vector>

#include "bench/bench_selection.h"
#include "bench/output_check.h"
#include "tests/support/relay_model.h"

namespace {

constexpr long long kInputSentences = 3000;

// The expected output, sentence by sentence, made here from the whole stream at once.
std::vector<std::string> ExpectedSentences()
{
    SoakStream stream(kInputSentences);
    std::string input, piece;
    while (stream.Next(piece))
        input += piece;
    const std::string output = ExpectedRelayOutput(input + "$", BenchSelection());
    std::vector<std::string> sentences;
    for (std::size_t at = 0; at < output.size();) {
        const std::size_t next = output.find('$', at + 1);
        sentences.push_back(output.substr(at, next - at));
        at = next == std::string::npos ? output.size() : next;
    }
    return sentences;
}

long long Bytes(const std::vector<std::string>& sentences, std::size_t from, std::size_t count)
{
    long long bytes = 0;
    for (std::size_t i = from; i < from + count; ++i)
        bytes += static_cast<long long>(sentences[i].size());
    return bytes;
}

struct Damage {
    const char* legend;
    // Turns the exact output into what arrived; gives the lost and corrupted counts expected.
    std::function<void(std::vector<std::string>&, SentenceBytes& lost, SentenceBytes& corrupted)>
        apply;
    bool allArrived;  // the check sees the output complete before Finish()
};

TEST(OutputCheck, CountsEveryKindOfDamageWhereverTheOutputIsCut)
{
    const std::vector<std::string> exact = ExpectedSentences();
    ASSERT_GT(exact.size(), 1500u);
    const std::size_t last = exact.size() - 1;
    const Damage damages[] = {
        {"exact output", [](auto&, auto&, auto&) {}, true},
        {"one sentence missing",
         [&](auto& out, auto& lost, auto&) {
             lost = {1, Bytes(exact, 700, 1)};
             out.erase(out.begin() + 700);
         },
         true},
        {"a burst of 800 missing, as gpsd drops for a slow client",
         [&](auto& out, auto& lost, auto&) {
             lost = {800, Bytes(exact, 100, 800)};
             out.erase(out.begin() + 100, out.begin() + 900);
         },
         true},
        {"one byte changed",
         [&](auto& out, auto& lost, auto& corrupted) {
             out[500][10] ^= 1;
             lost = corrupted = {1, Bytes(exact, 500, 1)};
         },
         true},
        {"a sentence too many",
         [&](auto& out, auto&, auto& corrupted) {
             out.insert(out.begin() + 300, "$PXYZ,1*00\r\n");
             corrupted = {1, 12};
         },
         true},
        {"bytes outside any sentence",
         [&](auto& out, auto&, auto& corrupted) {
             out[200] += "junk";
             corrupted = {1, 4};
         },
         true},
        {"the last ten never came",
         [&](auto& out, auto& lost, auto&) {
             lost = {10, Bytes(exact, last - 9, 10)};
             out.resize(out.size() - 10);
         },
         false},
        {"the last sentence cut short",
         [&](auto& out, auto& lost, auto& corrupted) {
             out.back().resize(5);
             corrupted = {1, 5};
             lost = {1, Bytes(exact, last, 1)};
         },
         false},
    };
    const unsigned seed = std::random_device{}();
    SCOPED_TRACE("chunk seed " + std::to_string(seed));
    std::mt19937 random(seed);
    for (const Damage& damage : damages) {
        SCOPED_TRACE(damage.legend);
        std::vector<std::string> out = exact;
        SentenceBytes lost, corrupted;
        damage.apply(out, lost, corrupted);
        std::string arrived;
        for (const std::string& sentence : out)
            arrived += sentence;

        OutputCheck check(kInputSentences, BenchSelection());
        for (std::size_t at = 0; at < arrived.size();) {
            const std::size_t chunk = std::uniform_int_distribution<std::size_t>(1, 300)(random);
            check.Consume(std::string_view(arrived).substr(at, chunk));
            at += chunk;
        }
        EXPECT_EQ(check.AllArrived(), damage.allArrived);
        check.Finish();
        EXPECT_EQ(check.Expected().sentences, static_cast<long long>(exact.size()));
        EXPECT_EQ(check.Expected().bytes, Bytes(exact, 0, exact.size()));
        EXPECT_EQ(check.Lost().sentences, lost.sentences);
        EXPECT_EQ(check.Lost().bytes, lost.bytes);
        EXPECT_EQ(check.Corrupted().sentences, corrupted.sentences);
        EXPECT_EQ(check.Corrupted().bytes, corrupted.bytes);
        EXPECT_EQ(check.Delivered().bytes + lost.bytes, check.Expected().bytes);
    }
}

}  // namespace
