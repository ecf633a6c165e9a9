// How a run ends while the user waits on it: Stop's pause with no run, Stop with the relay
// stuck in a write, Stop and exit while the relay's box is up, an unplugged receiver, and a box
// of the relay's when the box presenter has no descriptor of its own.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QTimer>

#include <chrono>
#include <memory>
#include <string>
#include <thread>

#include "platform/io/fd_io.h"
#include "platform/messages/message_box.h"
#include "platform/window/dialog.h"
#include "platform/window/window_message_box.h"
#include "relay/relay_thread.h"
#include "res/resource_ids.h"
#include "tests/support/event_wait.h"
#include "tests/support/monitor_dialog.h"
#include "tests/support/pty_pair.h"
#include "tests/support/sample_sentences.h"
#include "tests/support/scratch.h"

using namespace std::chrono_literals;

namespace {

bool Readable(int fd)
{
    pollfd state{fd, POLLIN, 0};
    return ::poll(&state, 1, 0) == 1;
}

// Stop takes about a second also with no run: the pause that lets a relay leave its loop.
TEST(Monitoring, StopWithoutARunStillPausesAboutASecond)
{
    MonitorDialog main;
    const long long start = MonotonicMilliseconds();
    main.Click(IDC_STOP);
    const long long took = MonotonicMilliseconds() - start;
    EXPECT_GE(took, 950);
    EXPECT_LT(took, 3000);
    EXPECT_TRUE(main.LooksIdle());
}

// The relay stuck in a write to an output nobody reads (a 4000-byte sentence may wait 41 s) is
// woken by the stop: Stop returns right after its pause, and the cut-short write shows no box.
TEST(Monitoring, StopDuringAStalledWriteReturnsRightAfterThePause)
{
    PtyPair input, output;
    ASSERT_GT(output.FillFromProgramEnd(), 0u);  // nobody reads what was written before
    MonitorDialog main;
    main.StartWith(input.Path(), "115200", output.Path());
    ASSERT_TRUE(RunIsHeld());
    const std::string sentence = "$GPTXT," + std::string(3990, 'x') + "\r\n";
    // Three to be handed on (each by the '$' of the next), more than the output can still take.
    input.Write(sentence + sentence + sentence + sentence);
    const long long start = MonotonicMilliseconds();
    main.Click(IDC_STOP);
    const long long took = MonotonicMilliseconds() - start;
    EXPECT_GE(took, 950);
    EXPECT_LT(took, 1000 + 200);
    EXPECT_TRUE(main.boxes().Seen().empty()) << main.boxes().Texts().at(0).toStdString();
    EXPECT_FALSE(RunIsHeld());
    EXPECT_TRUE(main.LooksIdle());
}

// The relay thread's box: shown by the GUI thread without blocking the dialog, holding the
// relay until OK. Stop and then exit, pressed while it is up, wait for it (neither hang nor
// crash) and the box stays until the user answers it.
TEST(Monitoring, StopAndExitWhileTheRelaysWriteErrorBoxIsUp)
{
    PtyPair input, output;
    MonitorDialog main;
    main.boxes().SetPolicy(BoxWatcher::kHoldBoxes);
    main.StartWith(input.Path(), "4800", output.Path());
    output.CloseMaster();  // the reading program went away
    input.Write(kTwoSentences);
    ASSERT_TRUE(RunEventsUntil([&] { return main.boxes().OpenBoxes() == 1; }));
    const SeenBox box = main.boxes().Seen().at(0);
    EXPECT_EQ(box.caption, "Quarnex");
    EXPECT_EQ(box.text, "Write error");
    EXPECT_TRUE(box.okButtonOnly);
    EXPECT_FALSE(box.blocksOtherWindows);
    EXPECT_FALSE(Readable(RelayEndedDescriptor())) << "the relay waits for the answer";
    EXPECT_TRUE(main.LooksActive());

    bool boxUpAfterStopAndExit = false;
    QTimer::singleShot(0, [&] { main.Click(IDC_STOP); });
    QTimer::singleShot(0, [&] {  // runs inside Stop's wait
        main.Click(IDCANCEL);
        boxUpAfterStopAndExit = main.boxes().OpenBoxes() == 1;
        main.boxes().AnswerOpenBoxes();
    });
    int result = 0;
    EXPECT_TRUE(RunEventsUntil([&] { return DialogEnded(main.dialog(), &result); }));
    EXPECT_TRUE(boxUpAfterStopAndExit);
    EXPECT_EQ(result, 1);
    EXPECT_EQ(main.boxes().Seen().size(), 1u);
    EXPECT_FALSE(RunIsHeld());
    EXPECT_EQ(main.Tray(), nullptr);
}

// An unplugged receiver ends the relay with one "Read error"; the dialog keeps its active look
// until Stop. Plugged back in (a new device behind the same COM1: link), Start relays again.
TEST(Monitoring, AnUnpluggedReceiverEndsTheRunAndOncePluggedBackANewStartRelays)
{
    PortLinks ports;
    auto receiver = std::make_unique<PtyPair>();
    PtyPair output;
    ports.Link("COM1", receiver->Path());
    MonitorDialog main;
    main.StartWith("COM1:", "4800", output.Path());
    receiver->CloseMaster();
    ASSERT_TRUE(RunEventsUntilReadable(RelayEndedDescriptor()));
    EXPECT_EQ(main.boxes().Texts(), std::vector<QString>{"Read error"});
    EXPECT_TRUE(main.LooksActive());
    main.Click(IDC_STOP);
    EXPECT_TRUE(main.LooksIdle());
    EXPECT_FALSE(RunIsHeld());

    receiver = std::make_unique<PtyPair>();
    ports.Link("COM1", receiver->Path());
    main.Click(IDC_START);
    EXPECT_EQ(main.boxes().Seen().size(), 1u);
    EXPECT_TRUE(main.LooksActive());
    receiver->Write(kTwoSentences);
    EXPECT_EQ(output.ReadBytes(kGga.size() + kRmc.size(), 10s), kGga + kRmc);
}

// The lowest descriptor number that is free now.
int LowestFreeDescriptor()
{
    const int probe = open("/dev/null", O_RDONLY | O_CLOEXEC);
    close(probe);
    return probe;
}

// When the box presenter came up with no descriptor to be had for its eventfd, a box that the
// relay thread raises must still reach the user (through Qt's own queue), not leave the relay
// waiting for an answer forever.
TEST(MessageBoxes, ABoxFromTheRelayThreadIsShownAlsoWithoutAnEventDescriptor)
{
    RemoveWindowMessagePresenter();
    rlimit saved{};
    ASSERT_EQ(getrlimit(RLIMIT_NOFILE, &saved), 0);
    rlimit exhausted = saved;
    const int lowestFree = LowestFreeDescriptor();
    ASSERT_GE(lowestFree, 0);
    exhausted.rlim_cur = static_cast<rlim_t>(lowestFree);
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &exhausted), 0);
    InstallWindowMessagePresenter();
    ASSERT_EQ(setrlimit(RLIMIT_NOFILE, &saved), 0);

    const BoxWatcher boxes;  // answers at once
    std::thread relay([] { ShowMessageBox("Write error"); });
    const bool shown = RunEventsUntil([&] { return !boxes.Seen().empty(); }, 10s);
    EXPECT_TRUE(shown) << "the box never came";
    if (!shown) ReleaseMessageBoxWaiters();  // so that the thread can be joined
    relay.join();
    ResumeMessageBoxes();
    EXPECT_EQ(boxes.Texts(), std::vector<QString>{"Write error"});
    RemoveWindowMessagePresenter();
    InstallWindowMessagePresenter();
}

}  // namespace
