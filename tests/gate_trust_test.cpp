// The GPS service channel as a local attacker meets it: programs that connect to our source
// before gpsd does (and hold, flood or drop their connections), a control socket served by another
// user, control peers that flood, trickle or never answer, and a gpsd that stops. Only gpsd gets
// the stream, nothing is told to a stranger, and neither the dialog's thread nor the relay waits
// beyond the bounds.
#include <gtest/gtest.h>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/gpsd/gate_api_simple.h"
#include "platform/gpsd/gpsd_peer.h"
#include "platform/io/unique_fd.h"
#include "ports/gate_channel.h"
#include "tests/support/child_process.h"
#include "tests/support/fake_control_socket.h"
#include "tests/support/gpsd_client.h"
#include "tests/support/listening_socket.h"
#include "tests/support/message_recorder.h"
#include "tests/support/nmea_checksum.h"
#include "tests/support/private_gpsd.h"
#include "tests/support/relay_harness.h"
#include "tests/support/relay_model.h"
#include "tests/support/sample_sentences.h"
#include "tests/support/scratch.h"

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

namespace {

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

// A program that connects to the run's source before gpsd: it holds `count` connections and
// reports "held", then the bytes they got until closed; or, with `count` 0, it makes one and
// closes it once its end is shut and acknowledged, which leaves that end to the kernel's
// time-wait at once, and reports "held" and "0". Plain system calls only.
int Stranger(const sockaddr_in& source, int count, int report)
{
    pollfd connections[40];
    const int made = count > 0 ? count : 1;
    for (int i = 0; i < made; ++i) {
        connections[i] = {::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK, 0), POLLOUT, 0};
        ::connect(connections[i].fd, reinterpret_cast<const sockaddr*>(&source), sizeof source);
    }
    ::poll(connections, static_cast<nfds_t>(made), 3000);
    if (count == 0) {
        ::shutdown(connections[0].fd, SHUT_WR);
        tcp_info state{};
        socklen_t size = sizeof state;
        for (int tries = 0; tries < 400; ++tries)  // until the shut end is acknowledged
            if (::getsockopt(connections[0].fd, IPPROTO_TCP, TCP_INFO, &state, &size) != 0 ||
                (state.tcpi_state != TCP_ESTABLISHED && state.tcpi_state != TCP_FIN_WAIT1) ||
                ::poll(nullptr, 0, 5) < 0)
                break;
        ::close(connections[0].fd);
    }
    Report(report, "held\n");
    long received = 0;
    for (int i = 0; i < count && received >= 0; ++i) {
        const long got = ReadUntilClosed(connections[i].fd, 20000);
        received = got < 0 ? -1 : std::max(received, got);
    }
    char text[24];
    std::snprintf(text, sizeof text, "%ld\n", received);
    Report(report, text);
    return 0;
}

struct BeforeGpsd {
    const char* legend;
    std::vector<std::pair<uid_t, int>> strangers;  // each one's uid and connections
    bool silentReceiver;  // nothing to write until gpsd is there: only the relay's wait serves
    bool runAsUser;       // started by a user to whom /proc does not show gpsd's processes
};

const BeforeGpsd kBeforeGpsd[] = {
    {"programs of the same user and of another hold connections",
     {{0, 1}, {kOtherUid, 1}},
     false,
     false},
    // A listen queue left full would hang gpsd in its connect to the source, deaf to everyone.
    {"another user holds 40 connections while the receiver is silent",
     {{kOtherUid, 40}},
     true,
     false},
    // The closed end stays in the kernel's table without an owner (shown as uid 0); where /proc
    // hides gpsd's processes, the trust falls back on owners, and trusts root.
    {"one connects and closes, the run a user's against a socket root serves",
     {{kOtherUid, 0}},
     false,
     true},
};

// Each stranger gets nothing and is closed at once, while the receiver is still silent; gpsd
// gets every sentence, the ones kept while it had not connected first.
TEST(GpsServiceTrust, ProgramsThatConnectBeforeGpsdGetNothingAndGpsdGetsEverySentence)
{
    const std::string capture = ReadCapture("nl551e.log");
    const std::vector<std::string> expected = ChecksummedLines(ExpectedRelayOutput(capture, {}));
    for (const BeforeGpsd& row : kBeforeGpsd) {
        SCOPED_TRACE(row.legend);
        PrivateGpsd gpsd;
        MessageRecorder messages;
        RelayHarness relay(RelayOutput::kGpsd);
        if (row.runAsUser) {  // all threads act as that user until the run has started
            ::chmod(gpsd.Directory().c_str(), 0711);
            ::chmod(gpsd.ControlSocket().c_str(), 0666);
            ::chmod(relay.input().Path().c_str(), 0666);
            ASSERT_EQ(::setegid(kOtherUid) | ::seteuid(kOtherUid), 0);
        }
        const int started = relay.Start();
        ASSERT_EQ(::seteuid(0) | ::setegid(0), 0);
        ASSERT_EQ(started, 1);
        const std::vector<std::string> sources = gpsd.ControlDevices();  // nobody watches yet
        ASSERT_EQ(sources.size(), 1u);
        std::vector<std::unique_ptr<ChildProcess>> strangers;
        for (const auto& [uid, count] : row.strangers) {
            strangers.push_back(std::make_unique<ChildProcess>(
                [source = SourceAddress(sources[0]), count = count](int report) {
                    return Stranger(source, count, report);
                },
                uid));
            EXPECT_EQ(strangers.back()->ReadLine("", 10s), "held");
            EXPECT_EQ(strangers.back()->ReadLine("", 10s), "0") << "closed at once, nothing sent";
        }

        const std::size_t half = row.silentReceiver ? 0 : capture.find('$', capture.size() / 2);
        relay.input().Write(capture.substr(0, half));
        GpsdWatcher watcher(gpsd.ClientPort());
        const auto asked = Clock::now();
        EXPECT_EQ(gpsd.ControlDevices(), sources);
        EXPECT_LT(Clock::now() - asked, 1s) << "gpsd was held up";
        ASSERT_EQ(watcher.WaitForSourceOpened(10s), sources[0]);
        relay.input().Write(capture.substr(half));
        const auto allArrived = [&](const GpsdWatcher::Lines& lines) {
            return Checksummed(lines).size() >= expected.size();
        };
        EXPECT_TRUE(watcher.WaitUntil(allArrived, 20s)) << gpsd.Log();
        EXPECT_EQ(Checksummed(watcher.NmeaLines()), expected);
        EXPECT_TRUE(messages.Texts().empty());
    }
}

// Whoever looks at a connection may find its far end closed already, if only a moment late: the
// kernel keeps such an end without its owner (uid 0), and it must not pass for gpsd's where
// the trust falls back on owners and gpsd's are root's.
TEST(GpsServiceTrust, AFarEndClosedAlreadyIsNotGpsds)
{
    GpsdIdentity rootsGpsd{};
    rootsGpsd.owners = {kOtherUid, kOtherUid};
    sockaddr_in address = TcpAddress("127.0.0.1");
    const UniqueFd listener = Listen(address);
    ASSERT_TRUE(listener);
    for (const int count : {1, 0}) {  // one root holds, then one closes
        SCOPED_TRACE(count == 1 ? "held" : "closed");
        ChildProcess root([&](int report) { return Stranger(address, count, report); });
        ASSERT_EQ(root.ReadLine("", 10s), "held");
        const UniqueFd accepted{::accept4(listener.get(), nullptr, nullptr, SOCK_CLOEXEC)};
        EXPECT_EQ(IsGpsdConnection(accepted.get(), rootsGpsd), count == 1);
    }
}

TEST(GpsServiceTrust, AControlSocketOfAnotherUserIsToldNothing)
{
    const ScratchDirectory directory;
    ::chmod(directory.Path().c_str(), 0777);  // where the other user may make a socket
    const std::string path = (directory.Path() / "gpsd.sock").string();
    FakeControlSocket fake(path, FakeGpsd::kSilent, kOtherUid);
    const ScopedEnvironmentVariable variable("GPSD_SOCKET", path.c_str());
    MessageRecorder messages;
    GateApi::Simple* channel = nullptr;
    EXPECT_EQ(StartGateChannel(channel), 0);
    StopGateChannel(channel);
    ASSERT_EQ(messages.Texts().size(), 1u);
    const std::string text = messages.Texts()[0];
    EXPECT_TRUE(text.starts_with("gpsd control socket ")) << text;
    EXPECT_TRUE(text.ends_with("/gpsd.sock: owned by uid 1001")) << text;
    EXPECT_EQ(fake.Received(10s), 0) << "the fake received something";
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
    RelayHarness relay(RelayOutput::kGpsd);
    ASSERT_EQ(relay.Start(), 1);
    gpsd.Freeze();
    std::string chunk;
    while (chunk.size() < 4096)
        chunk += kGga;
    auto longestWrite = Clock::duration::zero();
    for (int sent = 0; sent < 15; ++sent) {
        const auto started = Clock::now();
        relay.input().Write(chunk);
        longestWrite = std::max(longestWrite, Clock::now() - started);
        pollfd nothing{-1, 0, 0};
        ::poll(&nothing, 1, 100);  // the receiver's pace
    }
    EXPECT_LT(longestWrite, 500ms) << "the relay waited on gpsd";
    gpsd.Thaw();
}

}  // namespace
