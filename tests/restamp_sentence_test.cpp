// The simulated receiver's restamping: each row is a sentence from the captures in tests/data,
// what it must become at 2026-12-07 09:05:03 UTC, and the captured time that marks its epoch.
// The expected sentences were written by hand, their checksums computed apart from this code.
#include <gtest/gtest.h>

#include "tools/restamp_sentence.h"

namespace {

struct Row {
    const char* legend;
    const char* captured;
    const char* restamped;
    const char* epochTime;
};

const Row kRows[] = {
    {"RMC with a fix: time (fraction kept) and ddmmyy date",
     "$GPRMC,191433.01,A,5200.17080,N,00602.17433,E,0.203,,040712,,,A*72",
     "$GPRMC,090503.01,A,5200.17080,N,00602.17433,E,0.203,,071226,,,A*70", "191433.01"},
    {"RMC of another talker", "$GNRMC,171926.00,A,4404.14063,N,12118.85478,W,0.117,,180315,,,A*76",
     "$GNRMC,090503.00,A,4404.14063,N,12118.85478,W,0.117,,071226,,,A*7D", "171926.00"},
    {"RMC without a fix", "$GPRMC,191418.00,V,,,,,,,040712,,,N*79",
     "$GPRMC,090503.00,V,,,,,,,071226,,,N*72", "191418.00"},
    {"GGA without a fix", "$GPGGA,191418.00,,,,,0,00,99.99,,,,,,*62",
     "$GPGGA,090503.00,,,,,0,00,99.99,,,,,,*69", "191418.00"},
    {"GLL: the time is its fifth field", "$GNGLL,4404.14066,N,12118.85481,W,171925.00,A,A*66",
     "$GNGLL,4404.14066,N,12118.85481,W,090503.00,A,A*60", "171925.00"},
    {"GLL with an empty time stays empty", "$GPGLL,,,,,,V,N*64", "$GPGLL,,,,,,V,N*64", ""},
    {"ZDA: time, day, month and four-digit year", "$GNZDA,181141.00,19,06,2015,00,00*7C",
     "$GNZDA,090503.00,07,12,2026,00,00*75", "181141.00"},
    {"GNS", "$GNGNS,051347.00,6001.336799,N,03014.169008,E,AAN,09,0.9,16.5,18.0,,,V*55",
     "$GNGNS,090503.00,6001.336799,N,03014.169008,E,AAN,09,0.9,16.5,18.0,,,V*5E", "051347.00"},
    {"GST", "$GNGST,181141.00,46,,,,4.7,1.9,5.3*4A", "$GNGST,090503.00,46,,,,4.7,1.9,5.3*49",
     "181141.00"},
    {"GBS", "$GNGBS,181141.00,4.7,1.9,5.3,87,,-54902.0,57.5*41",
     "$GNGBS,090503.00,4.7,1.9,5.3,87,,-54902.0,57.5*42", "181141.00"},
    {"VTG has no time", "$GPVTG,,,,,,,,,N*30", "$GPVTG,,,,,,,,,N*30", ""},
    {"TXT has no time", "$GPTXT,01,01,02,u-blox ag - www.u-blox.com*50",
     "$GPTXT,01,01,02,u-blox ag - www.u-blox.com*50", ""},
    {"a proprietary sentence", "$PMTK010,001*2E", "$PMTK010,001*2E", ""},
    {"a wrong checksum stays as captured", "$GPRMC,191418.00,V,,,,,,,040712,,,N*00",
     "$GPRMC,191418.00,V,,,,,,,040712,,,N*00", "191418.00"},
    {"no checksum stays as captured", "$GPGGA,191418.00,,,,,0,00,99.99,,,,,,",
     "$GPGGA,191418.00,,,,,0,00,99.99,,,,,,", "191418.00"},
};

TEST(RestampSentence, RewritesTimeAndDateFieldsWithAValidChecksum)
{
    std::tm utc{};
    utc.tm_year = 2026 - 1900;
    utc.tm_mon = 12 - 1;
    utc.tm_mday = 7;
    utc.tm_hour = 9;
    utc.tm_min = 5;
    utc.tm_sec = 3;
    for (const Row& row : kRows) {
        SCOPED_TRACE(row.legend);
        EXPECT_EQ(RestampSentence(row.captured, utc), row.restamped);
        EXPECT_EQ(CapturedTime(row.captured), row.epochTime);
    }
}

}  // namespace
