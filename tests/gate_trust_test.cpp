// The GPS service channel as a local attacker meets it: a program that connects to our source
// before gpsd does, a control socket served by another user, control peers that flood, trickle
// or never answer, and a gpsd that stops. Only gpsd gets the stream, nothing is told to a
// stranger, and neither the dialog's thread nor the relay waits beyond the bounds.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <string>
#include <vector>

#include "platform/gpsd/gate_api_simple.h"
#include "platform/io/unique_fd.h"
#include "ports/gate_channel.h"
#include "tests/support/child_process.h"
#include "tests/support/fake_control_socket.h"
#include "tests/support/gate_relay.h"
#include "tests/support/gpsd_client.h"
#include "tests/support/message_recorder.h"
#include "tests/support/private_gpsd.h"
#include "tests/support/relay_model.h"
#include "tests/support/sample_sentences.h"
#include "tests/support/scratch.h"

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

// Connects to the source's listener (tcp://ADDRESS:PORT) and returns the descriptor, or -1.
int ConnectToSource(const std::string& source)
{
    const std::size_t colon = source.rfind(':');
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(std::stoi(source.substr(colon + 1))));
    inet_pton(AF_INET, source.substr(6, colon - 6).c_str(), &address.sin_addr);
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) return fd;
    ::close(fd);
    return -1;
}

// Reads until the other side ends the connection; the bytes received, or -1 when it stays
// open past the deadline. Plain system calls only: it also runs in a forked child.
long ReadUntilClosed(int fd, int timeoutMs)
{
    long received = 0;
    char buffer[512];
    for (pollfd ready{fd, POLLIN, 0}; ::poll(&ready, 1, timeoutMs) == 1;) {
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n <= 0) return received;
        received += n;
    }
    return -1;
}

TEST(GpsServiceTrust, ProgramsThatConnectBeforeGpsdGetNothingAndGpsdGetsEverySentence)
{
    const std::string capture = ReadCapture("nl551e.log");
    const std::vector<std::string> expected = ChecksummedLines(ExpectedRelayOutput(capture, {}));
    PrivateGpsd gpsd;
    MessageRecorder messages;
    GateRelay relay;
    ASSERT_EQ(relay.Start(), 1);
    const std::vector<std::string> sources = gpsd.ControlDevices();  // nobody watches yet
    ASSERT_EQ(sources.size(), 1u);
    const std::string source = sources[0];

    // Two programs see the new listener and connect first: one of the same user, one of another.
    const UniqueFd sameUser{ConnectToSource(source)};
    ASSERT_TRUE(sameUser);
    ChildProcess otherUser(
        [&source](int report) {
            const int fd = ConnectToSource(source);
            Report(report, fd >= 0 ? "connected\n" : "refused\n");
            char count[24];
            std::snprintf(count, sizeof count, "%ld\n", ReadUntilClosed(fd, 20000));
            Report(report, count);
            return 0;
        },
        kOtherUid);
    ASSERT_EQ(otherUser.Read(10, 10s), "connected\n");

    // The first half is kept for gpsd while it has not connected, and goes to gpsd with the
    // first sentence after gpsd has come.
    const std::size_t half = capture.find('$', capture.size() / 2);
    relay.input.Write(capture.substr(0, half));
    GpsdWatcher watcher(gpsd.ClientPort());
    ASSERT_EQ(watcher.WaitForSourceOpened(10s), source);
    relay.input.Write(capture.substr(half));
    const auto allArrived = [&](const GpsdWatcher::Lines& lines) {
        return Checksummed(lines).size() >= expected.size();
    };
    EXPECT_TRUE(watcher.WaitUntil(allArrived, 20s)) << gpsd.Log();
    EXPECT_EQ(Checksummed(watcher.NmeaLines()), expected);
    EXPECT_EQ(ReadUntilClosed(sameUser.get(), 10000), 0) << "closed at once, nothing sent";
    EXPECT_EQ(otherUser.Read(2, 10s), "0\n");
    EXPECT_TRUE(messages.Texts().empty());
}

TEST(GpsServiceTrust, AControlSocketOfAnotherUserIsToldNothing)
{
    const ScratchDirectory directory;
    ::chmod(directory.Path().c_str(), 0777);  // where the other user may make a socket
    const std::string path = (directory.Path() / "gpsd.sock").string();
    ChildProcess fake(
        [&path](int report) {
            sockaddr_un address{};
            address.sun_family = AF_UNIX;
            std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
            const int listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
            if (::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
                ::listen(listener, 4) != 0)
                return 1;
            ::chmod(path.c_str(), 0777);
            Report(report, "ready\n");
            pollfd waiting{listener, POLLIN, 0};
            if (::poll(&waiting, 1, 10000) != 1) return 2;
            char count[24];
            std::snprintf(count, sizeof count, "%ld\n",
                          ReadUntilClosed(::accept(listener, nullptr, nullptr), 10000));
            Report(report, count);
            return 0;
        },
        kOtherUid);
    ASSERT_EQ(fake.Read(6, 10s), "ready\n");

    const ScopedEnvironmentVariable variable("GPSD_SOCKET", path.c_str());
    MessageRecorder messages;
    GateApi::Simple* channel = nullptr;
    EXPECT_EQ(StartGateChannel(channel), 0);
    StopGateChannel(channel);
    ASSERT_EQ(messages.Texts().size(), 1u);
    const std::string text = messages.Texts()[0];
    EXPECT_TRUE(text.starts_with("gpsd control socket ")) << text;
    EXPECT_TRUE(text.ends_with("/gpsd.sock: owned by uid 1001")) << text;
    EXPECT_EQ(fake.Read(2, 10s), "0\n") << "the fake received something";
}

struct Misbehaviour {
    const char* legend;
    FakeGpsd behaviour;
    const char* reason;  // how the message ends
};

// Each exchange is bounded by 2 s, and all of a start's exchanges by 2.5 s, whatever the peer
// does; the dialog's thread waits no longer than that.
TEST(GpsServiceTrust, ControlPeersThatMisbehaveAreCutOffWithinTheStartsBound)
{
    const Misbehaviour rows[] = {
        {"a reply that never ends", FakeGpsd::kFlood, ": unexpected reply"},
        {"a reply of a byte a second", FakeGpsd::kTrickle, ": no answer in time"},
        {"no reply at all", FakeGpsd::kSilent, ": no answer in time"},
        {"right answers, each just within its own bound", FakeGpsd::kSlowAnswers,
         ": no answer in time"},
    };
    const ScratchDirectory directory;
    const std::string path = (directory.Path() / "gpsd.sock").string();
    const ScopedEnvironmentVariable variable("GPSD_SOCKET", path.c_str());
    for (const Misbehaviour& row : rows) {
        SCOPED_TRACE(row.legend);
        const FakeControlSocket fake(path, row.behaviour);
        MessageRecorder messages;
        GateApi::Simple* channel = nullptr;
        const auto started = Clock::now();
        EXPECT_EQ(StartGateChannel(channel), 0);
        EXPECT_LT(Clock::now() - started, 2700ms);
        StopGateChannel(channel);
        ASSERT_EQ(messages.Texts().size(), 1u);
        EXPECT_TRUE(messages.Texts()[0].ends_with(row.reason)) << messages.Texts()[0];
    }
}

// While gpsd has no connection the relay asks it, every 100 ms at first, whether it still holds
// the source; a gpsd that has stopped must not hold the relay up meanwhile. The receiver sends
// 4 KiB every 100 ms for 1.5 s, three times what the pty holds: a relay that waited on gpsd's
// answer (up to 2 s) would leave the pty full and a write waiting for room.
TEST(GpsServiceTrust, AStoppedGpsdDoesNotHoldTheRelayUp)
{
    PrivateGpsd gpsd;
    MessageRecorder messages;
    GateRelay relay;
    ASSERT_EQ(relay.Start(), 1);
    gpsd.Freeze();
    std::string chunk;
    while (chunk.size() < 4096)
        chunk += kGga;
    auto longestWrite = Clock::duration::zero();
    for (int sent = 0; sent < 15; ++sent) {
        const auto started = Clock::now();
        relay.input.Write(chunk);
        longestWrite = std::max(longestWrite, Clock::now() - started);
        pollfd nothing{-1, 0, 0};
        ::poll(&nothing, 1, 100);  // the receiver's pace
    }
    EXPECT_LT(longestWrite, 500ms) << "the relay waited on gpsd";
    gpsd.Thaw();
}

}  // namespace
