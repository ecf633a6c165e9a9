// The output text chooses the output end: "GPSGate" anywhere in it, in exactly that case, feeds
// the GPS service (a private gpsd of the test's own here); any other text, the same letters in
// another case included, is a serial port name.
#include <gtest/gtest.h>

#include <QLabel>

#include <chrono>
#include <memory>
#include <string>

#include "relay/forward_sentence.h"
#include "relay/relay_state.h"
#include "relay/relay_thread.h"
#include "res/resource_ids.h"
#include "tests/support/event_wait.h"
#include "tests/support/gpsd_client.h"
#include "tests/support/monitor_dialog.h"
#include "tests/support/private_gpsd.h"
#include "tests/support/pty_pair.h"
#include "tests/support/relay_model.h"
#include "tests/support/sample_sentences.h"
#include "tests/support/scratch.h"

using namespace std::chrono_literals;

namespace {

// With the defaults (COM1: as the receiver, 4800 baud, "GPSGate"), Start relays into gpsd:
// its clients get the sentences (the repaired VTG among them) and position fixes.
TEST(GateOutput, StartWithTheDefaultsRelaysIntoAPrivateGpsd)
{
    PrivateGpsd gpsd;
    GpsdWatcher watcher(gpsd.ClientPort());
    PtyPair input;
    MonitorDialog main;
    main.Type(IDC_INPUT_PORT, input.Path());
    main.Click(IDC_START);
    EXPECT_TRUE(main.boxes().Seen().empty());
    EXPECT_EQ(main.Status()->text(), "Überwachung ist aktiv");
    EXPECT_NE(relayState.gateChannel, nullptr);
    EXPECT_EQ(relayState.outputPort, INVALID_HANDLE_VALUE);

    // gpsd drops what comes before it has connected to the source, as for any receiver.
    ASSERT_NE(watcher.WaitForSourceOpened(30s), "");
    input.Write(ReadCapture("nl551e.log"));
    EXPECT_TRUE(watcher.WaitForFix(30s));
    EXPECT_TRUE(watcher.WaitForLine(kFixedVtgSentence, 30s))
        << "the repaired VTG sentence reached gpsd";

    main.Click(IDC_STOP);
    EXPECT_TRUE(main.LooksIdle());
    EXPECT_EQ(relayState.gateChannel, nullptr);
    EXPECT_TRUE(gpsd.ControlDevices().empty()) << "Stop removed the source from gpsd";
}

TEST(GateOutput, OnlyTheExactNameAnywhereInTheTextSelectsTheChannel)
{
    const struct {
        const char* output;
        bool channel;
    } rows[] = {{"GPSGate", true},  {"to GPSGate here", true}, {"xGPSGatex", true},
                {"GPSGat", false},  {"GPS Gate", false},       {"gpsgate", false},
                {"GPSGATE", false}, {"GpsGate", false}};
    PrivateGpsd gpsd;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.output);
        PtyPair input;
        MonitorDialog main;
        main.Type(IDC_INPUT_PORT, input.Path());
        main.Type(IDC_OUTPUT_PORT, row.output);
        main.Click(IDC_START);
        if (row.channel) {
            EXPECT_TRUE(main.boxes().Seen().empty());
            EXPECT_NE(relayState.gateChannel, nullptr);
        } else {
            EXPECT_EQ(main.boxes().Texts(), std::vector<QString>{"Unable to open the port!"});
            EXPECT_EQ(relayState.gateChannel, nullptr);
            EXPECT_TRUE(main.LooksIdle());
        }
    }
}

// Without a GPS service, Start shows the channel's own message once and leaves nothing behind.
TEST(GateOutput, StartWithoutAGpsServiceKeepsTheIdleLook)
{
    const std::string missing = "/tmp/quarnex-no-gpsd-" + std::to_string(getpid()) + ".sock";
    const ScopedEnvironmentVariable variable("GPSD_SOCKET", missing.c_str());
    PtyPair input;
    MonitorDialog main;
    main.Type(IDC_INPUT_PORT, input.Path());
    main.Click(IDC_START);
    ASSERT_EQ(main.boxes().Seen().size(), 1u);
    EXPECT_EQ(main.boxes().Seen()[0].caption, "Quarnex");
    EXPECT_FALSE(main.boxes().Seen()[0].text.isEmpty());
    EXPECT_TRUE(main.LooksIdle());
    EXPECT_FALSE(RunIsHeld()) << "the channel and the input port were closed again";
}

// gpsd killed during a run: its message once, the relay ended, and Stop restores the idle look.
// Once gpsd runs again, a new Start relays into it.
TEST(GateOutput, AfterGpsdDiedAndCameBackANewStartRelays)
{
    auto gpsd = std::make_unique<PrivateGpsd>(GpsdLog::kQuiet);
    auto watcher = std::make_unique<GpsdWatcher>(gpsd->ClientPort());
    PtyPair input;
    MonitorDialog main;
    main.Type(IDC_INPUT_PORT, input.Path());
    main.Click(IDC_START);
    ASSERT_NE(watcher->WaitForSourceOpened(30s), "");
    gpsd->Kill();
    // Each sentence is one more chance for the channel to notice.
    ASSERT_TRUE(RunEventsUntil([&] {
        input.Write(kGga);
        return main.boxes().Seen().size() == 1;
    }));
    EXPECT_TRUE(main.boxes().Seen()[0].text.startsWith("gpsd control socket"))
        << main.boxes().Seen()[0].text.toStdString();
    EXPECT_TRUE(RunEventsUntilReadable(RelayEndedDescriptor())) << "the relay ended";
    main.Click(IDC_STOP);
    EXPECT_TRUE(main.LooksIdle());
    EXPECT_FALSE(RunIsHeld());

    watcher.reset();
    gpsd.reset();  // first, as it restores GPSD_SOCKET to what it found
    gpsd = std::make_unique<PrivateGpsd>(GpsdLog::kQuiet);
    watcher = std::make_unique<GpsdWatcher>(gpsd->ClientPort());
    main.Click(IDC_START);
    EXPECT_EQ(main.boxes().Seen().size(), 1u) << "no new message";
    ASSERT_NE(watcher->WaitForSourceOpened(30s), "");
    input.Write(kGga + "$");
    EXPECT_TRUE(watcher->WaitForLine(kGga, 30s));
    main.Click(IDC_STOP);
    EXPECT_TRUE(gpsd->ControlDevices().empty());
}

}  // namespace
