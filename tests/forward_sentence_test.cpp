// The filter and the VTG repair, sentence by sentence, written to a real pseudo-terminal.
#include "relay/forward_sentence.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "ports/serial_port.h"
#include "relay/relay_state.h"
#include "tests/support/message_recorder.h"
#include "tests/support/nmea_checksum.h"
#include "tests/support/pty_pair.h"
#include "tests/support/sample_sentences.h"

using namespace std::chrono_literals;

namespace {

const std::string kMarker = "$MARK\r\n";

struct FilterCase {
    const char* legend;
    int SentenceSelection::*cleared;  // nullptr: every flag at its initial value
    std::string sentence;
    std::string written;
};

const std::string kGsv = "$GPGSV,3,1,11,03,03,111,00,04,15,270,00,06,01,010,00,13,06,292,00*74\r\n";
const std::string kEmptyVtg = "$GPVTG,,T,,M,0.203,N,0.375,K,A*23\r\n";
const std::string kAllEmptyVtg = "$GPVTG,,,,,,,,,N*30\r\n";
const std::string kCourseVtg = "$GPVTG,054.7,T,034.4,M,005.5,N,010.2,K*48\r\n";
const std::string kMss = "$GPMSS,55,27,318.0,100,1,*57\r\n";

const std::vector<FilterCase> kFilterCases = {
    {"GGA selected: written unchanged, line end included", nullptr, kGga, kGga},
    {"MSS starts deselected", nullptr, kMss, ""},
    {"GSV deselected", &SentenceSelection::gsv, kGsv, ""},
    {"GSV deselected leaves GGA alone", &SentenceSelection::gsv, kGga, kGga},
    {"GGA deselected", &SentenceSelection::gga, kGga, ""},
    {"RMC deselected", &SentenceSelection::rmc, "$GPRMC,1*00\r\n", ""},
    {"GLL deselected", &SentenceSelection::gll, "$GPGLL,1*00\r\n", ""},
    {"GSA deselected", &SentenceSelection::gsa, "$GPGSA,1*00\r\n", ""},
    {"empty course: exactly the fixed sentence", nullptr, kEmptyVtg, kFixedVtg},
    {"empty course, all fields empty: the fixed sentence", nullptr, kAllEmptyVtg, kFixedVtg},
    {"empty course with trailing bytes: only the fixed sentence", nullptr,
     kEmptyVtg + "# noise\r\n", kFixedVtg},
    {"course present: unchanged", nullptr, kCourseVtg, kCourseVtg},
    {"VTG deselected drops even an empty course, nothing fixed", &SentenceSelection::vtg, kEmptyVtg,
     ""},
    {"VTG deselected drops a course VTG", &SentenceSelection::vtg, kCourseVtg, ""},
    {"other talker with empty course: never repaired", nullptr,
     "$GNVTG,,T,,M,0.031,N,0.058,K,A*32\r\n", "$GNVTG,,T,,M,0.031,N,0.058,K,A*32\r\n"},
    {"other talker passes a cleared flag", &SentenceSelection::gga, "$GNGGA,1*00\r\n",
     "$GNGGA,1*00\r\n"},
    {"proprietary sentence always written", &SentenceSelection::gsv,
     "$PGRME,15.0,M,45.0,M,25.0,M*1C\r\n", "$PGRME,15.0,M,45.0,M,25.0,M*1C\r\n"},
    {"ZDA always written", nullptr, "$GPZDA,201530.00,04,07,2002,00,00*60\r\n",
     "$GPZDA,201530.00,04,07,2002,00,00*60\r\n"},
    {"a 0 byte inside a sentence is written like any other byte", nullptr,
     std::string("$GPGGA,1\0,2*00\r\n", 16), std::string("$GPGGA,1\0,2*00\r\n", 16)},
    {"a 0 byte behind the tag does not hide the type", &SentenceSelection::gsv,
     std::string("$GPGSV\0,1*00\r\n", 14), ""},
    {"a 0 byte behind the repair tag does not stop the repair", nullptr,
     std::string("$GPVTG,,\0T*00\r\n", 16), kFixedVtg},
    {"a sentence shorter than a tag is no match", &SentenceSelection::gsv, "$GPGS", "$GPGS"},
};

class Forwarding : public ::testing::Test {
protected:
    void SetUp() override
    {
        relayState.selection = {};
        relayState.stopRequested.store(false);
        relayState.outputPort = OpenSerialPort(output.Path().c_str(), 4800);
        ASSERT_NE(relayState.outputPort, INVALID_HANDLE_VALUE);
        ChooseOutputEnd();
    }
    void TearDown() override
    {
        CloseSerialPort(relayState.outputPort);
        relayState.selection = {};
        relayState.stopRequested.store(true);
    }

    // What ForwardSentence wrote: everything up to a marker written behind it.
    std::string Forward(const std::string& sentence)
    {
        ForwardSentence(sentence.c_str(), sentence.size());
        ForwardSentence(kMarker.c_str(), kMarker.size());
        std::string received;
        while (received.size() < kMarker.size() ||
               received.compare(received.size() - kMarker.size(), kMarker.size(), kMarker) != 0) {
            const std::string more = output.ReadBytes(1, 5s);
            if (more.empty()) return "<no marker>" + received;
            received += more;
        }
        return received.substr(0, received.size() - kMarker.size());
    }

    MessageRecorder messages;
    PtyPair output;
};

TEST_F(Forwarding, FiltersAndRepairsAsTheRulesSay)
{
    for (const FilterCase& row : kFilterCases) {
        SCOPED_TRACE(row.legend);
        relayState.selection = {};
        if (row.cleared) relayState.selection.*row.cleared = 0;
        EXPECT_EQ(Forward(row.sentence), row.written);
    }
    EXPECT_TRUE(messages.Texts().empty());
}

TEST_F(Forwarding, MssIsWrittenOnceSelected)
{
    relayState.selection.mss = 1;
    EXPECT_EQ(Forward(kMss), kMss);
}

TEST_F(Forwarding, FixedVtgSentenceIsWellFormed)
{
    ASSERT_EQ(kFixedVtgLength, 30u);
    const std::string fixed(kFixedVtgSentence, kFixedVtgLength);
    EXPECT_EQ(fixed, kFixedVtg);
    EXPECT_TRUE(HasValidChecksum(fixed));
}

TEST_F(Forwarding, AFailedWriteShowsOneWriteErrorAndRequestsAStop)
{
    output.CloseMaster();  // the reading end is gone: the next write fails at once
    ForwardSentence(kGga.c_str(), kGga.size());
    const auto shown = messages.Messages();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].caption, "Quarnex");
    EXPECT_EQ(shown[0].text, "Write error");
    EXPECT_TRUE(relayState.stopRequested.load());
}

}  // namespace
