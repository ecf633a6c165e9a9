// Whole relay runs from a pseudo-terminal into a real gpsd of the test's own, seen from a gpsd
// client as any program that reads GPS data sees them: real captures arrive byte for byte as
// the rules leave them and give position fixes, and gpsd dying ends the run with one message.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <future>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "relay/relay_state.h"
#include "tests/support/gpsd_client.h"
#include "tests/support/held_resources.h"
#include "tests/support/message_recorder.h"
#include "tests/support/nmea_checksum.h"
#include "tests/support/private_gpsd.h"
#include "tests/support/relay_harness.h"
#include "tests/support/relay_model.h"
#include "tests/support/replay_case.h"
#include "tests/support/sample_sentences.h"

using namespace std::chrono_literals;

namespace {

std::string Diagnosis(const PrivateGpsd& gpsd, const GpsdWatcher& watcher,
                      const std::string& source)
{
    std::string text = "source " + source + "\n--- the watcher saw:\n";
    for (const std::string& line : watcher.AllLines())
        if (!IsNmeaLine(line)) text += line;
    return text + "--- gpsd's log:\n" + gpsd.Log();
}

// Empty-course GP VTG sentences in a capture that the relay writes (a '$' follows them).
std::size_t EmptyCourseGpVtgCount(const std::string& input)
{
    std::size_t count = 0;
    for (std::size_t at = input.find("$GPVTG,,"); at != std::string::npos;
         at = input.find("$GPVTG,,", at + 1))
        count += input.find('$', at + 1) != std::string::npos;
    return count;
}

class GateReplay : public ::testing::TestWithParam<Replay> {};

TEST_P(GateReplay, GpsdReportsEverySentenceAsWrittenAndTheFixes)
{
    const Replay& replay = GetParam();
    const std::string input = ReadCapture(replay.capture);
    const std::vector<std::string> expected =
        ChecksummedLines(ExpectedRelayOutput(input, replay.selection));
    ASSERT_FALSE(expected.empty());

    PrivateGpsd gpsd;
    GpsdWatcher watcher(gpsd.ClientPort());
    MessageRecorder messages;
    RelayHarness relay(RelayOutput::kGpsd);
    ASSERT_EQ(relay.Start(replay.selection), 1);
    const std::string source = watcher.WaitForSourceOpened(10s);
    ASSERT_FALSE(source.empty()) << gpsd.Log();
    const unsigned seed = std::random_device{}();
    SCOPED_TRACE("chunk seed " + std::to_string(seed));
    std::mt19937 random(seed);
    relay.input().WriteInRandomChunks(input, random);

    const auto allArrived = [&](const GpsdWatcher::Lines& lines) {
        std::size_t count = 0;
        for (const std::string& line : lines)
            count += HasValidChecksum(line);
        return count >= expected.size();
    };
    EXPECT_TRUE(watcher.WaitUntil(allArrived, 20s)) << Diagnosis(gpsd, watcher, source);
    EXPECT_TRUE(watcher.WaitForFix(10s)) << "gpsd reported no position fix";
    relay.Stop();
    EXPECT_TRUE(watcher.WaitForSourceClosed(source, 10s));  // nothing can follow this
    const std::vector<std::string> reported = Checksummed(watcher.NmeaLines());
    EXPECT_EQ(reported, expected);
    EXPECT_EQ(std::count(reported.begin(), reported.end(), kFixedVtg),
              static_cast<long>(EmptyCourseGpVtgCount(input)));
    EXPECT_EQ(relay.input().ReadAvailable(), "") << "nothing goes back to the receiver";
    EXPECT_TRUE(messages.Texts().empty());
}

INSTANTIATE_TEST_SUITE_P(Captures, GateReplay,
                         ::testing::Values(Replay{"nl551e.log", {}}, Replay{"gr8013-w.log", {}},
                                           Replay{"neo-m8n.log", {}},
                                           Replay{"garmin-geko201.log", {}},
                                           Replay{"mtk-3301.log", {}},
                                           Replay{"quectel-eg25-g-2.log", {}},
                                           Replay{"nl551e.log", {.gsv = 0}}),
                         ReplayName);

struct Death {
    const char* legend;
    bool clientWatching;  // gpsd has opened our source and reads it
    bool onlyTheSource;   // another program removes our source; gpsd itself lives on
    const char* message;  // how the one message begins
};

class GpsdDeath : public ::testing::TestWithParam<Death> {};

TEST_P(GpsdDeath, EndsTheRunWithOneMessageNamingGpsd)
{
    PrivateGpsd gpsd;
    std::unique_ptr<GpsdWatcher> watcher;
    if (GetParam().clientWatching) watcher = std::make_unique<GpsdWatcher>(gpsd.ClientPort());
    MessageRecorder messages;
    RelayHarness relay(RelayOutput::kGpsd);
    ASSERT_EQ(relay.Start(), 1);
    if (watcher) {
        ASSERT_FALSE(watcher->WaitForSourceOpened(10s).empty());
        relay.input().Write(kGga + "$");
        ASSERT_TRUE(watcher->WaitForLine(kGga, 10s));
    }
    if (GetParam().onlyTheSource)
        gpsd.Control("-" + gpsd.ControlDevices().at(0) + "\n");
    else
        gpsd.Kill();
    // Each sentence is one more chance to notice; without a connection gpsd is asked at most
    // once a second.
    const auto deadline = std::chrono::steady_clock::now() + 20s;
    while (!messages.WaitForCount(1, 100ms) && std::chrono::steady_clock::now() < deadline)
        relay.input().Write(kGga);
    ASSERT_EQ(messages.Texts().size(), 1u);
    EXPECT_TRUE(messages.Texts()[0].starts_with(GetParam().message)) << messages.Texts()[0];
    EXPECT_NE(messages.Messages()[0].thread, std::this_thread::get_id()) << "the relay's own";
    EXPECT_TRUE(relay.WaitUntilEnded(10s)) << "the relay thread must end";
    EXPECT_TRUE(relayState.stopRequested.load());
    relay.input().Write(kGga + kGga);  // nobody relays these any more
    auto stopped = std::async(std::launch::async, [&] { relay.Stop(); });
    EXPECT_EQ(stopped.wait_for(10s), std::future_status::ready) << "the stop hangs";
    EXPECT_EQ(messages.Texts().size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    Runs, GpsdDeath,
    ::testing::Values(Death{"ClientWatching", true, false, "gpsd control socket "},
                      Death{"NobodyWatching", false, false, "gpsd control socket "},
                      Death{"SourceRemovedNobodyWatching", false, true,
                            "gpsd dropped the input tcp://127.113.110.120:"}),
    [](const ::testing::TestParamInfo<Death>& row) { return std::string(row.param.legend); });

// Runs into gpsd, many times over and one right after the other: each gives back its listening
// socket, gpsd's connection and what it kept for gpsd, and takes its source out of gpsd.
TEST(GateRelayRuns, ManyLeaveNothingBehindHereOrInGpsd)
{
    PrivateGpsd gpsd(GpsdLog::kQuiet);
    GpsdWatcher watcher(gpsd.ClientPort());
    MessageRecorder messages;
    ExpectNothingLeftBehindByRepeating(1000, [&watcher] {
        RelayHarness relay(RelayOutput::kGpsd);
        ASSERT_EQ(relay.Start(), 1);
        relay.input().Write(kGga + kGga + "$");
        relay.Stop();
        watcher.Forget();  // gpsd reports each source; only this process's memory counts
    });
    EXPECT_TRUE(gpsd.ControlDevices().empty());
    EXPECT_TRUE(messages.Texts().empty());
}

}  // namespace
