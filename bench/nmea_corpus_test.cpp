// The benchmark's generated stream must read like a receiver's: were a sentence malformed or a
// kind missing, the relay would be timed on work it never meets in use.
#include <gtest/gtest.h>

#include <cctype>
#include <cstdlib>
#include <string>
#include <string_view>

#include "bench/nmea_corpus.h"
#include "tests/support/nmea_checksum.h"

namespace {

constexpr std::size_t kCorpusBytes = 256 * 1024;

TEST(NmeaCorpus, EverySentenceIsWellFormedWithAValidChecksum)
{
    const std::string corpus = GenerateNmeaCorpus(kCorpusBytes);
    ASSERT_GE(corpus.size(), kCorpusBytes);
    for (std::size_t start = 0; start < corpus.size();) {
        const std::size_t end = corpus.find("\r\n", start);
        ASSERT_NE(end, std::string::npos) << "the stream ends on a whole line";
        const std::string_view sentence(corpus.data() + start, end - start);
        SCOPED_TRACE(std::string(sentence));
        ASSERT_GE(sentence.size(), 4u);
        EXPECT_EQ(sentence.front(), '$');
        EXPECT_LE(sentence.size() + 2, 82u) << "NMEA 0183 allows 82 characters with CR LF";
        const std::size_t star = sentence.size() - 3;
        ASSERT_EQ(sentence[star], '*');
        for (char c : sentence.substr(1, star - 1))
            EXPECT_TRUE(c != '$' && c != '*' && c >= ' ' && c <= '~');
        const std::string written(sentence.substr(star + 1));
        EXPECT_EQ(std::strtoul(written.c_str(), nullptr, 16),
                  NmeaChecksum(sentence.substr(1, star - 1)));
        EXPECT_EQ(written.find_first_not_of("0123456789ABCDEF"), std::string::npos);
        start = end + 2;
    }
}

TEST(NmeaCorpus, HoldsEveryKindTheRelayTreatsApart)
{
    const std::string corpus = GenerateNmeaCorpus(kCorpusBytes);
    const struct {
        const char* legend;
        const char* start;
    } kinds[] = {
        {"position fix", "\n$GPGGA,"},
        {"active satellites", "\n$GPGSA,"},
        {"first sentence of a GSV burst", "\n$GPGSV,3,1,"},
        {"later sentence of a GSV burst", "\n$GPGSV,3,3,"},
        {"recommended minimum", "\n$GPRMC,"},
        {"VTG with an empty course, to be repaired", "\n$GPVTG,,T,"},
        {"geographic position", "\n$GPGLL,"},
        {"date and time", "\n$GPZDA,"},
        {"a maker's own sentence", "\n$P"},
    };
    for (const auto& kind : kinds)
        EXPECT_NE(corpus.find(kind.start), std::string::npos) << kind.legend;
    bool vtgWithCourse = false;  // passed on as it is
    for (std::size_t at = 0; !vtgWithCourse && (at = corpus.find("$GPVTG,", at)) != corpus.npos;
         at += 7)
        vtgWithCourse = std::isdigit(static_cast<unsigned char>(corpus[at + 7]));
    EXPECT_TRUE(vtgWithCourse) << "VTG with a course";
    EXPECT_EQ(corpus, GenerateNmeaCorpus(kCorpusBytes))
        << "runs must compare: same seed, same bytes";
}

}  // namespace
