// The GPS service client library against a real gpsd of the test's own: how it finds gpsd, the
// texts it gives when it cannot, and that gpsd is never left holding a source of ours.
#include "platform/gpsd/gate_api_simple.h"

#include <gtest/gtest.h>

#include <sys/eventfd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "platform/io/unique_fd.h"
#include "tests/support/gpsd_client.h"
#include "tests/support/held_resources.h"
#include "tests/support/nmea_checksum.h"
#include "tests/support/private_gpsd.h"
#include "tests/support/sample_sentences.h"
#include "tests/support/scratch.h"

using namespace std::chrono_literals;

namespace {

std::string LastError(GateApi::Simple& channel)
{
    char text[GateApi::kGateErrorTextSize];
    std::memset(text, 'x', sizeof text);
    channel.GetLastError(text, sizeof text);
    EXPECT_NE(std::memchr(text, '\0', sizeof text), nullptr) << "not 0-terminated";
    return text;
}

struct Unreachable {
    const char* legend;
    // Prepares a control socket path in `directory` (a fresh one) and returns it.
    std::function<std::string(const std::string& directory)> prepare;
    const char* reason;  // how the text must end
};

TEST(GpsServiceClient, AnUnreachableGpsdIsNamedWithTheSystemsReason)
{
    PrivateGpsd frozen;  // its directory holds the rows' files
    PrivateGpsd dead;
    dead.Kill();  // its socket file stays behind, and nobody listens there
    const std::vector<Unreachable> rows = {
        {"no socket at the path", [](const std::string& dir) { return dir + "/absent.sock"; },
         ": No such file or directory"},
        {"a plain file at the path",
         [](const std::string& dir) {
             std::ofstream(dir + "/plain.sock") << "not a socket";
             return dir + "/plain.sock";
         },
         ": Connection refused"},
        {"the socket of a gpsd that has died",
         [&](const std::string&) { return dead.ControlSocket(); }, ": Connection refused"},
        {"a path longer than a socket address holds",
         [](const std::string& dir) { return dir + "/" + std::string(120, 'n'); },
         "gpsd control socket path: File name too long"},
        {"a gpsd that hangs",
         [&](const std::string&) {
             frozen.Freeze();
             return frozen.ControlSocket();
         },
         ": no answer in time"},
    };
    for (const Unreachable& row : rows) {
        SCOPED_TRACE(row.legend);
        const std::string path = row.prepare(frozen.Directory());
        const ScopedEnvironmentVariable variable("GPSD_SOCKET", path.c_str());
        GateApi::Simple channel;
        EXPECT_FALSE(channel.StartGpsGate());
        const std::string text = LastError(channel);
        EXPECT_TRUE(text.starts_with("gpsd control socket ")) << text;
        EXPECT_TRUE(text.ends_with(row.reason)) << text;
        EXPECT_LE(text.size(), 63u);
        if (path.size() < 100) {  // a path too long to use is not repeated
            EXPECT_NE(text.find(std::filesystem::path(path).filename().string()), std::string::npos)
                << "names the socket";
        }
    }
    frozen.Thaw();
}

TEST(GpsServiceClient, ALongPathIsShortenedAtItsStartAndTheTextCutAtWholeCharacters)
{
    const std::string path =
        "/tmp/f\xC3\xBCr-den-Empf\xC3\xA4nger-\xC3\xBC\xC3\xBC\xC3\xBC/gpsd.sock";
    const ScopedEnvironmentVariable variable("GPSD_SOCKET", path.c_str());
    GateApi::Simple channel;
    ASSERT_FALSE(channel.StartGpsGate());
    const std::string text = LastError(channel);
    EXPECT_TRUE(text.ends_with("/gpsd.sock: No such file or directory")) << text;
    EXPECT_NE(text.find("..."), std::string::npos) << text;
    EXPECT_LE(text.size(), 63u);

    for (int size : {1, 2, 22, 23, 24}) {  // the 22nd and 23rd bytes are one character
        SCOPED_TRACE("buffer of " + std::to_string(size));
        char buffer[64];
        std::memset(buffer, 'x', sizeof buffer);
        const int copied = channel.GetLastError(buffer, size);
        EXPECT_EQ(buffer[copied], '\0');
        EXPECT_LT(copied, size);
        EXPECT_EQ(buffer[size], 'x') << "wrote past the buffer";
        EXPECT_EQ(std::string(buffer), text.substr(0, static_cast<std::size_t>(copied)));
        EXPECT_NE(static_cast<unsigned char>(text[copied]) & 0xC0, 0x80)
            << "cut inside a character";
    }
}

TEST(GpsServiceClient, OpenAddsASourceGpsdReadsAndCloseTakesItAway)
{
    PrivateGpsd gpsd;
    GpsdWatcher watcher(gpsd.ClientPort());
    const int descriptorsBefore = OpenDescriptorCount();
    GateApi::Simple channel;
    ASSERT_TRUE(channel.StartGpsGate()) << LastError(channel);
    ASSERT_TRUE(channel.Open("_input")) << LastError(channel);
    const std::string source = watcher.WaitForSourceOpened(10s);
    EXPECT_TRUE(source.starts_with("tcp://127.113.110.120:")) << source;
    EXPECT_EQ(gpsd.ControlDevices(), std::vector<std::string>{source});

    EXPECT_TRUE(channel.Write(kGga.data(), static_cast<int>(kGga.size()))) << LastError(channel);
    EXPECT_TRUE(watcher.WaitForLine(kGga, 10s));

    channel.Close();
    EXPECT_TRUE(watcher.WaitForSourceClosed(source, 10s));
    EXPECT_TRUE(gpsd.ControlDevices().empty());
    EXPECT_EQ(OpenDescriptorCount(), descriptorsBefore);
    channel.Close();  // a second Close finds nothing left to do
    EXPECT_FALSE(channel.Write(kGga.data(), static_cast<int>(kGga.size())));
    EXPECT_EQ(LastError(channel), "gpsd input is not open");
}

// gpsd opens its sources only while a client watches; until then the input is open all the
// same, and the sentences reach gpsd once a client comes.
TEST(GpsServiceClient, SentencesFlowOnceAClientStartsWatching)
{
    PrivateGpsd gpsd;
    GateApi::Simple channel;
    ASSERT_TRUE(channel.StartGpsGate()) << LastError(channel);
    ASSERT_TRUE(channel.Open("_input")) << LastError(channel);
    EXPECT_TRUE(channel.Write(kGga.data(), static_cast<int>(kGga.size())));
    GpsdWatcher watcher(gpsd.ClientPort());
    ASSERT_FALSE(watcher.WaitForSourceOpened(10s).empty());
    EXPECT_TRUE(channel.Write(kGga.data(), static_cast<int>(kGga.size()))) << LastError(channel);
    EXPECT_TRUE(watcher.WaitForLine(kGga, 10s));
}

// A run that starts right after another ended: gpsd puts the new source in the slot the last
// one left and connects to it only once that slot's reconnect interval (2 s, in whole seconds)
// has passed and something wakes gpsd. What the receiver sends meanwhile must still arrive.
TEST(GpsServiceClient, AnInputOpenedRightAfterAnotherLosesNothingBeforeGpsdConnects)
{
    PrivateGpsd gpsd;
    GpsdWatcher watcher(gpsd.ClientPort());
    {
        GateApi::Simple earlier;
        ASSERT_TRUE(earlier.Open("_input")) << LastError(earlier);
        ASSERT_FALSE(watcher.WaitForSourceOpened(10s).empty());
    }
    GateApi::Simple channel;
    ASSERT_TRUE(channel.Open("_input")) << LastError(channel);
    // Numbered sentences at a receiver's pace, until gpsd reports the newest one.
    std::vector<std::string> written;
    const auto reported = [](const GpsdWatcher::Lines& lines) {
        std::vector<std::string> numbered;
        for (const std::string& line : lines)
            if (line.starts_with("$PQNXN,")) numbered.push_back(line);
        return numbered;
    };
    const auto deadline = std::chrono::steady_clock::now() + 20s;
    do {
        written.push_back(CheckedSentence("PQNXN," + std::to_string(written.size())));
        ASSERT_TRUE(channel.Write(written.back().data(), static_cast<int>(written.back().size())))
            << LastError(channel);
    } while (!watcher.WaitForLine(written.back(), 100ms) &&
             std::chrono::steady_clock::now() < deadline);
    EXPECT_EQ(reported(watcher.NmeaLines()), written);
}

// A channel that a watching client has made gpsd open, a first sentence through.
struct ReadChannel {
    PrivateGpsd gpsd;
    GpsdWatcher watcher{gpsd.ClientPort()};
    GateApi::Simple channel;

    ::testing::AssertionResult Open()
    {
        if (!channel.Open("_input")) return ::testing::AssertionFailure() << LastError(channel);
        if (watcher.WaitForSourceOpened(10s).empty())
            return ::testing::AssertionFailure() << "gpsd opened no source";
        if (!channel.Write(kGga.data(), static_cast<int>(kGga.size())) ||
            !watcher.WaitForLine(kGga, 10s))
            return ::testing::AssertionFailure() << "no sentence reached gpsd";
        return ::testing::AssertionSuccess();
    }
};

TEST(GpsServiceClient, AWriteAfterGpsdDiedFailsAndSaysSo)
{
    ReadChannel read;
    ASSERT_TRUE(read.Open());
    GateApi::Simple& channel = read.channel;
    read.gpsd.Kill();
    ASSERT_TRUE(read.watcher.WaitUntilDisconnected(10s));
    // The kernel hands on the end of gpsd's connections a moment after its death; a write in
    // that moment still goes out (and brings the end back at once), so allow a few.
    int accepted = 0;
    while (channel.Write(kGga.data(), static_cast<int>(kGga.size())) && accepted < 100)
        ++accepted;
    EXPECT_LT(accepted, 100) << "gpsd's death went unnoticed";
    EXPECT_TRUE(LastError(channel).ends_with(": Connection refused")) << LastError(channel);
    EXPECT_FALSE(channel.Write(kGga.data(), static_cast<int>(kGga.size()))) << "stays failed";
    channel.Close();  // gpsd is gone: nothing to remove, and no wait
}

// A write that waits for room (gpsd stopped, its socket buffers full) ends as soon as the run's
// stop descriptor is readable, not after its 1 s + 10 ms per byte; a stop is no failure of gpsd's.
TEST(GpsServiceClient, AWriteWaitingForAStoppedGpsdEndsAtTheStop)
{
    ReadChannel read;
    ASSERT_TRUE(read.Open());
    read.gpsd.Freeze();
    const UniqueFd stop(eventfd(1, EFD_CLOEXEC));  // readable: the stop was requested
    const std::string flood(16 << 20, 'x');        // more than every buffer on the way holds
    const auto started = std::chrono::steady_clock::now();
    EXPECT_FALSE(read.channel.Write(flood.data(), static_cast<int>(flood.size()), stop.get()));
    EXPECT_EQ(errno, ECANCELED);
    EXPECT_LT(std::chrono::steady_clock::now() - started, 2s);
    read.gpsd.Thaw();
}

// An add that gpsd did not answer in time may still be carried out when gpsd wakes up; Close
// must take it back all the same.
TEST(GpsServiceClient, CloseAfterAnUnansweredOpenLeavesNoSourceBehind)
{
    PrivateGpsd gpsd;
    GateApi::Simple channel;
    ASSERT_TRUE(channel.StartGpsGate());
    gpsd.Freeze();
    EXPECT_FALSE(channel.Open("_input"));
    EXPECT_TRUE(LastError(channel).ends_with(": no answer in time")) << LastError(channel);
    channel.Close();
    gpsd.Thaw();
    // This question queues behind the add and the remove, so it is answered after both.
    EXPECT_TRUE(gpsd.ControlDevices().empty());
    EXPECT_TRUE(QueryGpsdDevices(gpsd.ClientPort()).empty());
}

}  // namespace
