// Starting and stopping the output channel into gpsd: one message where it fails, the channel's
// own text, and the object kept in its slot until the stop frees it.
#include "ports/gate_channel.h"

#include <gtest/gtest.h>

#include <atomic>
#include <new>
#include <string>

#include "platform/gpsd/gate_api_simple.h"
#include "platform/messages/message_box.h"
#include "tests/support/gpsd_client.h"
#include "tests/support/held_resources.h"
#include "tests/support/message_recorder.h"
#include "tests/support/private_gpsd.h"

using namespace std::chrono_literals;

// Lets a test make allocation without exceptions fail, as it does when memory runs out.
static std::atomic<bool> refuseNothrowAllocation{false};

void* operator new(std::size_t size, const std::nothrow_t&) noexcept
{
    if (refuseNothrowAllocation) return nullptr;
    try {
        return ::operator new(size);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

namespace {

TEST(GateChannel, NoObjectToBeHadShowsUnableToStart)
{
    MessageRecorder messages;
    GateApi::Simple* channel = nullptr;
    refuseNothrowAllocation = true;
    const int started = StartGateChannel(channel);
    refuseNothrowAllocation = false;
    EXPECT_EQ(started, 0);
    EXPECT_EQ(channel, nullptr);
    EXPECT_EQ(messages.Texts(), std::vector<std::string>{"Unable to start GPSGate"});
}

TEST(GateChannel, StartsIntoARunningGpsdAndStopTakesTheSourceAway)
{
    PrivateGpsd gpsd;
    GpsdWatcher watcher(gpsd.ClientPort());
    MessageRecorder messages;
    GateApi::Simple* channel = nullptr;
    ASSERT_EQ(StartGateChannel(channel), 1);
    ASSERT_NE(channel, nullptr);
    const std::string source = watcher.WaitForSourceOpened(10s);
    EXPECT_EQ(gpsd.ControlDevices(), std::vector<std::string>{source});

    StopGateChannel(channel);
    EXPECT_EQ(channel, nullptr);
    EXPECT_TRUE(watcher.WaitForSourceClosed(source, 10s));
    EXPECT_TRUE(gpsd.ControlDevices().empty());
    StopGateChannel(channel);  // an empty slot is left alone
    EXPECT_TRUE(messages.Texts().empty());
}

TEST(GateChannel, NoGpsdShowsTheChannelsTextOnceAndKeepsTheObjectUntilTheStop)
{
    PrivateGpsd gpsd;
    gpsd.Kill();
    MessageRecorder messages;
    GateApi::Simple* channel = nullptr;
    EXPECT_EQ(StartGateChannel(channel), 0);
    ASSERT_NE(channel, nullptr) << "the object stays in its slot";
    char expected[GateApi::kGateErrorTextSize];
    channel->GetLastError(expected, sizeof expected);
    EXPECT_EQ(messages.Texts(), std::vector<std::string>{expected});
    EXPECT_EQ(messages.Messages().at(0).caption, "Quarnex");
    EXPECT_NE(std::string(expected).find("gpsd control socket"), std::string::npos) << expected;
    StopGateChannel(channel);
    EXPECT_EQ(channel, nullptr);
    EXPECT_EQ(messages.Texts().size(), 1u);
}

// Descriptors held when the message box comes up: the channel must have closed its listening
// socket (Close()) before the user is told, not only once the box is dismissed.
std::atomic<int> descriptorsAtMessage{-1};
std::atomic<int> messagesShown{0};
std::string shownText;  // StartGateChannel runs on the test's own thread

void CountDescriptorsAtMessage(const char*, const char* text)
{
    descriptorsAtMessage = OpenDescriptorCount();
    ++messagesShown;
    shownText = text;
}

// gpsd holds a few sources at most (4 in 3.22, 6 in 3.25) and refuses one more: Open fails
// after its listening socket was made, which must be closed, and gpsd left as it was, by the
// time the user is told. The slots are filled with another program's sources.
TEST(GateChannel, AFailedOpenIsClosedBeforeItsMessageShows)
{
    PrivateGpsd gpsd;
    std::vector<std::string> others;
    for (int port = 1; port <= 64; ++port) {
        const std::string source = "tcp://127.0.0.1:" + std::to_string(port);
        if (!gpsd.AddSource(source)) break;
        others.push_back(source);
    }
    ASSERT_LT(others.size(), 64u) << "gpsd took every source";
    const int descriptorsBefore = OpenDescriptorCount();
    SetMessagePresenter(CountDescriptorsAtMessage);
    GateApi::Simple* channel = nullptr;
    EXPECT_EQ(StartGateChannel(channel), 0);
    SetMessagePresenter(nullptr);
    EXPECT_EQ(messagesShown, 1);
    EXPECT_EQ(descriptorsAtMessage, descriptorsBefore);
    EXPECT_EQ(gpsd.ControlDevices(), others);
    ASSERT_NE(channel, nullptr);
    char text[GateApi::kGateErrorTextSize];
    channel->GetLastError(text, sizeof text);
    EXPECT_EQ(shownText, text);
    EXPECT_EQ(shownText.rfind("gpsd refused the input tcp://127.113.110.120:", 0), 0u) << text;
    StopGateChannel(channel);
    EXPECT_EQ(channel, nullptr);
}

}  // namespace
