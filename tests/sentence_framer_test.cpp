// Cutting the receiver's byte stream into sentences, read by read, without any device.
#include "relay/sentence_framer.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstring>
#include <string>
#include <vector>

#include "tests/support/sample_sentences.h"

namespace {

std::vector<std::string> handedOn;
const std::atomic<bool> noStop{false};

void Record(const char* text, std::size_t length)
{
    EXPECT_EQ(text[length], '\0') << "a sentence is handed on with a 0 byte behind it";
    handedOn.emplace_back(text, length);
}

// Feeds each read to the framer as the relay thread would.
void Feed(SentenceFramer& framer, const std::vector<std::string>& reads)
{
    for (const std::string& read : reads) {
        std::string_view rest = read;
        while (!rest.empty()) {  // a read never brings more than there is room for
            const std::size_t count = std::min(rest.size(), framer.ReadRoom());
            std::memcpy(framer.ReadPosition(), rest.data(), count);
            framer.Receive(count);
            rest.remove_prefix(count);
        }
    }
}

struct FramingCase {
    const char* legend;
    std::vector<std::string> reads;
    std::vector<std::string> sentences;
    std::size_t pending;
};

const std::string kGsa = "$GPGSA,A,3,04,05,,09,12,,,24,,,,,2.5,1.3,2.1*39\r\n";
const std::string kVtg = "$GPVTG,054.7,T,034.4,M,005.5,N,010.2,K*48\r\n";
const std::string kNul(1, '\0');

const std::vector<FramingCase> kFramingCases = {
    {"one sentence is held until the next '$' arrives; its length counts CR LF",
     {kGga + kRmc},
     {kGga},
     kRmc.size()},
    {"a leading tail is dropped, the whole sentence handed on, '$' plus two letters kept",
     {"4.9,M,,*47\r\n" + kGga + "$GP"},
     {kGga},
     3},
    {"a '$' split across two reads", {kGga, "$", "GPRMC"}, {kGga}, 6},
    {"a sentence split across many reads arrives whole and unchanged",
     {"$GPG", "GA,12", "3519,4807.038,N,01131.000,", "E,1,08,0.9,545.4,M,46.9,M,,*47\r", "\n", "$"},
     {kGga},
     1},
    {"a read completing a pending sentence and bringing three more hands on all four in order",
     {kGga.substr(0, 20), kGga.substr(20) + kRmc + kGsa + kVtg + "$"},
     {kGga, kRmc, kGsa, kVtg},
     1},
    {"bytes without any '$' are never handed on and not kept",
     {"no sentence here\r\n", "nor here\r\n"},
     {},
     0},
    {"bytes between a line end and the next '$' belong to the sentence before",
     {kGga + "# comment\r\n" + kRmc},
     {kGga + "# comment\r\n"},
     kRmc.size()},
    {"a 0 byte hides neither a later '$' nor the bytes around it",
     {"$GPGGA,1" + kNul + "2*00\r\n" + kNul + "$GPRMC,1*00\r\n$"},
     {"$GPGGA,1" + kNul + "2*00\r\n" + kNul, "$GPRMC,1*00\r\n"},
     1},
    {"a sentence of 4094 bytes still fits with the '$' behind it",
     {"$" + std::string(4093, 'x'), "$GP"},
     {"$" + std::string(4093, 'x')},
     3},
    {"a full buffer without a second '$' is dropped; what comes next is relayed normally",
     {"$" + std::string(5000, 'x') + "\r\n", kGga + kRmc},
     {kGga},
     kRmc.size()},
    {"junk before a sentence does not count against its room",
     {std::string(3000, 'j') + "$" + std::string(3000, 'y'), "$"},
     {"$" + std::string(3000, 'y')},
     1},
};

TEST(SentenceFraming, CutsAsTheRulesSay)
{
    for (const FramingCase& row : kFramingCases) {
        SCOPED_TRACE(row.legend);
        handedOn.clear();
        SentenceFramer framer(Record, noStop);
        Feed(framer, row.reads);
        EXPECT_EQ(handedOn, row.sentences);
        EXPECT_EQ(framer.PendingBytes(), row.pending);
        EXPECT_GE(framer.ReadRoom(), 1u);
    }
}

TEST(SentenceFraming, BytesAreCutIdenticallyWhateverTheReadSizes)
{
    const std::string stream = "tail\r\n" + kGga + kRmc + kGsa + kVtg + kGga + "$";
    for (std::size_t size = 1; size <= 64; ++size) {
        SCOPED_TRACE("reads of " + std::to_string(size) + " bytes");
        handedOn.clear();
        std::vector<std::string> reads;
        for (std::size_t at = 0; at < stream.size(); at += size)
            reads.push_back(stream.substr(at, size));
        SentenceFramer framer(Record, noStop);
        Feed(framer, reads);
        EXPECT_EQ(handedOn, (std::vector<std::string>{kGga, kRmc, kGsa, kVtg, kGga}));
    }
}

TEST(SentenceFraming, NothingMoreIsHandedOnOnceAStopIsRequested)
{
    static std::atomic<bool> stopRequested{false};
    handedOn.clear();
    SentenceFramer framer(
        [](const char* text, std::size_t length) {
            Record(text, length);
            stopRequested.store(true);  // as a failed write does
        },
        stopRequested);
    Feed(framer, {kGga + kRmc + kGsa + kVtg});
    EXPECT_EQ(handedOn, std::vector<std::string>{kGga});
}

}  // namespace
