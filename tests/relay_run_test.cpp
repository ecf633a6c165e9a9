// Whole relay runs between pseudo-terminals: real captures in random read sizes, compared byte
// for byte with the rules' model, and the ways a run ends (stop, unplugged receiver, failed write).
#include <gtest/gtest.h>

#include <pthread.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <csignal>
#include <future>
#include <random>
#include <string>
#include <thread>

#include "platform/io/fd_io.h"
#include "relay/relay_state.h"
#include "tests/support/held_resources.h"
#include "tests/support/message_recorder.h"
#include "tests/support/relay_harness.h"
#include "tests/support/relay_model.h"
#include "tests/support/replay_case.h"
#include "tests/support/sample_sentences.h"
#include "tests/support/thread_usage.h"

using namespace std::chrono_literals;

namespace {

// Byte for byte; a mismatch names where the two part.
void ExpectSameBytes(const std::string& received, const std::string& expected)
{
    EXPECT_EQ(received.size(), expected.size());
    EXPECT_TRUE(received == expected)
        << "first difference at byte "
        << std::mismatch(received.begin(), received.end(), expected.begin(), expected.end()).first -
               received.begin();
}

class RelayReplay : public ::testing::TestWithParam<Replay> {};

TEST_P(RelayReplay, OutputIsExactlyWhatTheRulesGive)
{
    const Replay& replay = GetParam();
    const std::string input = ReadCapture(replay.capture);
    const std::string expected = ExpectedRelayOutput(input, replay.selection);
    ASSERT_FALSE(expected.empty());

    MessageRecorder messages;
    RelayHarness relay;
    ASSERT_EQ(relay.Start(replay.selection), 1);
    const unsigned seed = std::random_device{}();
    SCOPED_TRACE("chunk seed " + std::to_string(seed));
    std::mt19937 random(seed);
    relay.input().WriteInRandomChunks(input, random);

    const std::string received = relay.output().ReadBytes(expected.size(), 20s);
    relay.Stop();
    ExpectSameBytes(received, expected);
    EXPECT_EQ(relay.output().ReadAvailable(), "") << "nothing beyond the rules";
    EXPECT_TRUE(messages.Texts().empty());
}

INSTANTIATE_TEST_SUITE_P(
    Captures, RelayReplay,
    ::testing::Values(Replay{"nl551e.log", {}}, Replay{"gr8013-w.log", {}},
                      Replay{"neo-m8n.log", {}}, Replay{"garmin-geko201.log", {}},
                      Replay{"mtk-3301.log", {}}, Replay{"quectel-eg25-g-2.log", {}},
                      Replay{"nl551e.log", {.gsv = 0}}, Replay{"mtk-3301.log", {.gsv = 0}}),
    ReplayName);

TEST(RelayRun, UnpluggedReceiverEndsTheRunWithOneReadErrorAndNoSpinning)
{
    MessageRecorder messages;
    RelayHarness relay;
    ASSERT_EQ(relay.Start(), 1);
    relay.input().Write(kGga + kGga);
    ASSERT_EQ(relay.output().ReadBytes(kGga.size(), 10s), kGga);

    const double cpuBefore = ProcessCpuMs(getpid());
    relay.input().CloseMaster();
    ASSERT_TRUE(messages.WaitForCount(1, 10s));
    EXPECT_TRUE(relay.WaitUntilEnded(10s)) << "the relay thread must end";
    const double cpuSpent = ProcessCpuMs(getpid()) - cpuBefore;

    const auto shown = messages.Messages();
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].caption, "Quarnex");
    EXPECT_EQ(shown[0].text, "Read error");
    EXPECT_NE(shown[0].thread, std::this_thread::get_id()) << "shown by the relay thread";
    EXPECT_TRUE(relayState.stopRequested.load());
    EXPECT_LT(cpuSpent, 250.0) << "a loop spinning on the hang-up burns a whole core";
}

TEST(RelayRun, StopWhileTheReceiverIsSilentReturnsPromptly)
{
    MessageRecorder messages;
    RelayHarness relay;
    ASSERT_EQ(relay.Start(), 1);
    auto stopped = std::async(std::launch::async, [&] { relay.Stop(); });
    ASSERT_EQ(stopped.wait_for(10s), std::future_status::ready) << "stop hangs on a silent port";
    EXPECT_TRUE(messages.Texts().empty());
    EXPECT_EQ(relayState.inputPort, INVALID_HANDLE_VALUE);
}

TEST(RelayRun, AFailedWriteShowsOneMessageForTheWholeReadAndEndsTheRun)
{
    MessageRecorder messages;
    RelayHarness relay;
    ASSERT_EQ(relay.Start(), 1);
    relay.output().CloseMaster();  // the reading program went away
    std::string burst;
    for (int i = 0; i < 20; ++i)
        burst += kGga;
    relay.input().Write(burst + "$");
    ASSERT_TRUE(messages.WaitForCount(1, 10s));
    EXPECT_TRUE(relay.WaitUntilEnded(10s));
    EXPECT_EQ(messages.Texts(), std::vector<std::string>{"Write error"});
}

TEST(RelayRun, AStalledOutputEndsTheRunAfterOneTimedOutWrite)
{
    MessageRecorder messages;
    RelayHarness relay;
    ASSERT_EQ(relay.Start({}, 115200), 1);
    std::string burst;  // far more than a pty holds; nobody reads the output
    for (int i = 0; i < 2000; ++i)
        burst += kGga;
    std::string_view unsent = burst;
    const long long start = MonotonicMilliseconds();
    while (!messages.WaitForCount(1, 20ms) && MonotonicMilliseconds() - start < 20000)
        unsent.remove_prefix(relay.input().WriteSome(unsent));
    ASSERT_EQ(messages.Messages().size(), 1u);
    EXPECT_TRUE(relay.WaitUntilEnded(10s));
    const long long elapsed = MonotonicMilliseconds() - start;
    EXPECT_FALSE(unsent.empty()) << "the output should have stalled the relay";
    auto stopped = std::async(std::launch::async, [&] { relay.Stop(); });
    EXPECT_EQ(stopped.wait_for(10s), std::future_status::ready);
    EXPECT_EQ(messages.Texts(), std::vector<std::string>{"Write error"});
    EXPECT_LT(elapsed, 1000 + 10 * 70 + 5000) << "one time-out, not one per held sentence";
}

// While the receiver is silent the relay thread sleeps in the kernel: over a second of silence
// it spends no CPU time and hardly wakes (a wait that returned at once would spin a core).
TEST(RelayRun, TheRelayThreadSleepsWhileTheReceiverIsSilent)
{
    MessageRecorder messages;
    RelayHarness relay;
    ASSERT_EQ(relay.Start(), 1);
    ASSERT_GT(relay.RelayThread(), 0);
    relay.input().Write(kGga + "$");
    ASSERT_EQ(relay.output().ReadBytes(kGga.size(), 10s), kGga);

    const ThreadUsage start = relay.Usage();
    EXPECT_EQ(relay.output().ReadBytes(1, 1s), "") << "a second of silence";
    const ThreadUsage used = relay.Usage() - start;
    EXPECT_LE(used.Switches(), 2) << "the relay thread woke up while nothing came";
    EXPECT_LT(used.cpuMs, 50.0);
    EXPECT_TRUE(messages.Texts().empty());
}

std::atomic<int> signalsCaught{0};

// SIGUSR1 counted by a handler without SA_RESTART while the object lives.
class CountedSignal {
public:
    CountedSignal()
    {
        struct sigaction counting = {};
        counting.sa_handler = [](int) { signalsCaught.fetch_add(1); };
        sigemptyset(&counting.sa_mask);
        sigaction(SIGUSR1, &counting, &previous_);
    }
    ~CountedSignal() { sigaction(SIGUSR1, &previous_, nullptr); }

private:
    struct sigaction previous_ = {};
};

// A signal that reaches the relay thread interrupts whatever wait it is in (poll() is never
// restarted, SA_RESTART or not): the relay must go on as if nothing happened, without a false
// "Read error" and without a byte lost or doubled.
TEST(RelayRun, SignalsToTheRelayThreadChangeNothing)
{
    const CountedSignal counted;
    MessageRecorder messages;
    RelayHarness relay;
    ASSERT_EQ(relay.Start(), 1);
    const pthread_t relayThread = relayState.relayThread.thread.native_handle();
    const std::string input = ReadCapture("nl551e.log");
    const std::string expected = ExpectedRelayOutput(input, {});
    // One line at a time: once its output is there, the relay goes back to sleep in its wait,
    // where the signal mostly finds it.
    std::string received;
    for (std::size_t from = 0, end; from < input.size(); from = end) {
        const std::size_t newline = input.find('\n', from);
        end = newline == std::string::npos ? input.size() : newline + 1;
        relay.input().Write(std::string_view(input).substr(from, end - from));
        const std::size_t due = ExpectedRelayOutput(input.substr(0, end), {}).size();
        received += relay.output().ReadBytes(due - received.size(), 10s);
        ASSERT_EQ(received.size(), due) << "after byte " << end;
        ASSERT_EQ(pthread_kill(relayThread, SIGUSR1), 0);
    }
    relay.Stop();
    ExpectSameBytes(received, expected);
    EXPECT_TRUE(messages.Texts().empty()) << messages.Texts().front();
    EXPECT_GT(signalsCaught.load(), 0);
}

// The output is full when the relay starts, and its reader takes one byte at a time, far slower
// than the relay writes: the relay's sentences (3 KB each) go out in pieces as room comes free.
// Every byte must arrive once, in order.
TEST(RelayRun, PartialWritesDeliverEveryByteOnce)
{
    std::string input;
    for (int i = 0; input.size() < 60000; ++i)
        input += "$GPTXT," + std::to_string(i) + "," + std::string(3000, 'a' + i % 26) + "*00\r\n";
    input += "$";
    MessageRecorder messages;
    RelayHarness relay;
    const std::size_t filled = relay.output().FillFromProgramEnd();
    ASSERT_GT(filled, 0u);
    const std::string expected = std::string(filled, 'F') + ExpectedRelayOutput(input, {});
    ASSERT_EQ(relay.Start({}, 115200), 1);
    auto feeding = std::async(std::launch::async, [&] { relay.input().Write(input); });
    std::string received;
    while (received.size() < expected.size()) {
        const std::string piece = relay.output().ReadBytes(1, 10s);
        if (piece.empty()) break;
        received += piece;
    }
    feeding.get();
    relay.Stop();
    ExpectSameBytes(received, expected);
    EXPECT_TRUE(messages.Texts().empty());
}

// Runs end to end, many times over: each one gives back its ports, its thread and its wake-up
// descriptors. (The dialog's Stop pauses a second, so its own cycles are few in the tests; the
// benchmark's --cycles runs a thousand.)
TEST(RelayRun, ManyRunsLeaveNoDescriptorThreadOrMemoryBehind)
{
    MessageRecorder messages;
    ExpectNothingLeftBehindByRepeating(1000, [] {
        RelayHarness relay;
        ASSERT_EQ(relay.Start(), 1);
        relay.input().Write(kGga + "$");
        ASSERT_EQ(relay.output().ReadBytes(kGga.size(), 10s), kGga);
        relay.Stop();
    });
    EXPECT_TRUE(messages.Texts().empty());
}

}  // namespace
