// Start and Stop as a user presses them, with real pseudo-terminals as the ports: what reaches
// the output, the look of the dialog in each state, every failure's message, and the ways a run
// can end while the relay thread is showing a message box.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCheckBox>
#include <QComboBox>
#include <QEvent>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <chrono>
#include <fstream>
#include <memory>
#include <random>
#include <thread>

#include "platform/io/fd_io.h"
#include "platform/io/unique_fd.h"
#include "platform/window/dialog.h"
#include "platform/window/message_box.h"
#include "platform/window/qt_dialog.h"
#include "platform/window/window_message_box.h"
#include "relay/relay_state.h"
#include "relay/relay_thread.h"
#include "res/resource_ids.h"
#include "tests/support/event_wait.h"
#include "tests/support/far_end_settings.h"
#include "tests/support/held_resources.h"
#include "tests/support/monitor_dialog.h"
#include "tests/support/pty_pair.h"
#include "tests/support/relay_model.h"
#include "tests/support/sample_sentences.h"
#include "tests/support/scratch.h"
#include "ui/monitoring.h"
#include "ui/tray_icon.h"

using namespace std::chrono_literals;

namespace {

// Records, in order, which controls were enabled or disabled.
class EnableLog : public QObject {
public:
    explicit EnableLog(MonitorDialog& main)
    {
        for (const int id : kSettingControls) {
            QWidget* control = DialogControl(main.dialog(), id);
            control->setProperty("logId", id);
            control->installEventFilter(this);
        }
    }
    std::vector<int> Take() { return std::exchange(ids_, {}); }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::EnabledChange)
            ids_.push_back(watched->property("logId").toInt());
        return false;
    }

private:
    std::vector<int> ids_;
};

bool Readable(int fd)
{
    pollfd state{fd, POLLIN, 0};
    return ::poll(&state, 1, 0) == 1;
}

unsigned long FarEndBaud(const PtyPair& pty)
{
    FarEndSettings settings{};
    return ReadFarEndSettings(pty.Master(), settings) ? settings.outputBaud : 0;
}

void ExpectActiveLook(MonitorDialog& main)
{
    EXPECT_EQ(main.Status()->text(), "Überwachung ist aktiv");
    EXPECT_EQ(main.TrayPicture(), TrayActivePicture());
    for (const int id : kSettingControls)
        EXPECT_FALSE(DialogControl(main.dialog(), id)->isEnabled());
    EXPECT_TRUE(main.Button(IDC_START)->isEnabled());
    EXPECT_TRUE(main.Button(IDC_STOP)->isEnabled());
}

void StartWith(MonitorDialog& main, const std::string& input, const std::string& baud,
               const std::string& output)
{
    main.Type(IDC_INPUT_PORT, input);
    main.Type(IDC_BAUD, baud);
    main.Type(IDC_OUTPUT_PORT, output);
    main.Click(IDC_START);
}

// Two sentences and the '$' that completes the second.
const std::string kTwoSentences = kGga + kRmc + "$";

TEST(Monitoring, StartRelaysWithTheDialogsSettingsAndStopRestoresTheIdleLook)
{
    PtyPair input, output;
    MonitorDialog main;
    EnableLog enables(main);
    const std::vector<int> inDialogOrder(std::begin(kSettingControls), std::end(kSettingControls));
    main.Click(IDC_SEND_GSV);  // off
    main.Click(IDC_SEND_MSS);  // on
    StartWith(main, input.Path(), "9600", output.Path());
    EXPECT_TRUE(main.boxes().Seen().empty());
    ExpectActiveLook(main);
    EXPECT_EQ(enables.Take(), inDialogOrder);
    EXPECT_EQ(FarEndBaud(input), 9600u);
    EXPECT_EQ(FarEndBaud(output), 9600u) << "both ports run at the one rate";

    // Hidden to the tray, the run goes on and the icon keeps its active picture.
    SendDialogMessage(main.dialog(), WM_COMMAND, MakeCommand(IDOK, BN_CLICKED), 0);
    EXPECT_FALSE(main.Window()->isVisible());
    SentenceSelection chosen;
    chosen.gsv = 0;
    chosen.mss = 1;
    const std::string capture = ReadCapture("nl551e.log");
    const std::string expected = ExpectedRelayOutput(capture, chosen);
    std::mt19937 random(std::random_device{}());
    input.WriteInRandomChunks(capture, random);
    EXPECT_TRUE(output.ReadBytes(expected.size(), 20s) == expected);
    EXPECT_EQ(main.TrayPicture(), TrayActivePicture());

    main.Click(IDC_STOP);
    EXPECT_TRUE(main.LooksIdle());
    EXPECT_EQ(enables.Take(), inDialogOrder);
    EXPECT_FALSE(RunIsHeld());
    EXPECT_TRUE(input.ProgramEndClosed() && output.ProgramEndClosed()) << "both ports were closed";
    EXPECT_TRUE(main.boxes().Seen().empty());
}

// The check box with this text, found as a user finds it.
QCheckBox* CheckBoxLabelled(MonitorDialog& main, const QString& text)
{
    for (QCheckBox* box : main.Window()->findChildren<QCheckBox*>())
        if (box->text() == text) return box;
    return nullptr;
}

// Each check box shows and sets its own flag. A selection with one flag turned from its initial
// value shows exactly that box turned; Start reads the boxes into the flags (also when it then
// fails, here at the missing input port), so the box turned back gives the initial selection.
TEST(Monitoring, EachCheckBoxShowsAndSetsItsOwnFlag)
{
    const struct {
        const char* label;
        SentenceSelection turned;
    } rows[] = {{"GGA", {.gga = 0}}, {"VTG", {.vtg = 0}}, {"RMC", {.rmc = 0}}, {"GLL", {.gll = 0}},
                {"GSA", {.gsa = 0}}, {"GSV", {.gsv = 0}}, {"MSS", {.mss = 1}}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.label);
        relayState.selection = row.turned;
        MonitorDialog main;
        for (const QCheckBox* box : main.Window()->findChildren<QCheckBox*>()) {
            const bool initiallyChecked = box->text() != "MSS";
            EXPECT_EQ(box->isChecked(), initiallyChecked != (box->text() == row.label))
                << box->text().toStdString();
        }
        StartWith(main, "/dev/quarnex-no-such-port", "4800", "/dev/quarnex-no-such-port");
        EXPECT_TRUE(relayState.selection == row.turned) << "read as shown";
        QCheckBox* box = CheckBoxLabelled(main, row.label);
        ASSERT_NE(box, nullptr);
        QTest::mouseClick(box, Qt::LeftButton);
        main.Click(IDC_START);
        EXPECT_TRUE(relayState.selection == SentenceSelection{}) << "the box turned back";
    }
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
    StartWith(main, input.Path(), "115200", output.Path());
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

// A name longer than the 63 characters that are read, of which neither the whole nor the cut
// names a device.
const char* LongMissingName()
{
    static const std::string name = "/dev/" + std::string(80, 'q');
    return name.c_str();
}

// Holds `path` as another program holding the port does: an exclusive lock on an open file
// description of its own.
int HoldLikeAnotherProgram(const std::string& path)
{
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

struct FailedStart {
    const char* legend;
    // "IN" and "OUT" stand for the two pseudo-terminals, "HELD" for a third one that another
    // program holds, "FILE" for a regular file.
    const char* input;
    const char* baud;
    const char* output;
    const char* message;
};

// Every failing step shows its own message once, in a box that blocks the dialog until OK,
// and leaves the system idle as before: nothing held, the input port closed again, no
// descriptor or thread more than before.
TEST(Monitoring, EachFailedStartShowsItsMessageAndKeepsTheIdleLook)
{
    const FailedStart rows[] = {
        {"input port missing", "/dev/quarnex-no-such-port", "4800", "OUT",
         "Unable to open the port!"},
        {"output port missing", "IN", "4800", "/dev/quarnex-no-such-port",
         "Unable to open the port!"},
        {"input is a regular file", "FILE", "4800", "OUT", "Unable to open the port!"},
        {"output is a directory", "IN", "4800", "/tmp", "Unable to open the port!"},
        {"input name of 63 characters and more naming nothing", LongMissingName(), "4800", "OUT",
         "Unable to open the port!"},
        {"input held by another program", "HELD", "4800", "OUT", "Unable to open the port!"},
        {"output held by another program", "IN", "4800", "HELD", "Unable to open the port!"},
        {"one port for input and output", "IN", "4800", "IN", "Unable to open the port!"},
        {"output in another case than the channel's name", "IN", "4800", "gpsgate",
         "Unable to open the port!"},
        {"empty baud field", "IN", "", "OUT", "Unable to configure the serial port!"},
        {"baud text without digits", "IN", "abc", "OUT", "Unable to configure the serial port!"},
        {"negative baud", "IN", "-4800", "OUT", "Unable to configure the serial port!"},
        {"zero baud", "IN", "0", "OUT", "Unable to configure the serial port!"},
        {"baud beyond the 32-bit range", "IN", "99999999999", "OUT",
         "Unable to configure the serial port!"},
        {"baud that a 32-bit cut would turn into 4800", "IN", "4294972096", "OUT",
         "Unable to configure the serial port!"},
    };
    const ScratchDirectory scratch;
    const std::string regularFile = (scratch.Path() / "capture.log").string();
    ASSERT_TRUE(std::ofstream(regularFile).is_open());
    for (const FailedStart& row : rows) {
        SCOPED_TRACE(row.legend);
        PtyPair input, output, held;
        const UniqueFd heldElsewhere(HoldLikeAnotherProgram(held.Path()));
        ASSERT_TRUE(heldElsewhere);
        const auto port = [&](const std::string& name) {
            return name == "IN"     ? input.Path()
                   : name == "OUT"  ? output.Path()
                   : name == "HELD" ? held.Path()
                   : name == "FILE" ? regularFile
                                    : name;
        };
        MonitorDialog main;
        const int descriptors = OpenDescriptorCount();
        const int threads = ThreadCount();
        StartWith(main, port(row.input), row.baud, port(row.output));
        ASSERT_EQ(main.boxes().Seen().size(), 1u);
        const SeenBox& box = main.boxes().Seen()[0];
        EXPECT_EQ(box.caption, "Quarnex");
        EXPECT_EQ(box.text, row.message);
        EXPECT_TRUE(box.okButtonOnly);
        EXPECT_TRUE(box.blocksOtherWindows);
        EXPECT_TRUE(main.LooksIdle());
        EXPECT_FALSE(RunIsHeld());
        EXPECT_EQ(OpenDescriptorCount(), descriptors);
        EXPECT_EQ(ThreadCount(), threads);
        if (std::string(row.input) == "IN") {
            EXPECT_TRUE(input.ProgramEndClosed());
        }
    }
}

TEST(Monitoring, ASecondStartWithACorrectedOutputSucceeds)
{
    PtyPair input, output;
    MonitorDialog main;
    StartWith(main, input.Path(), "4800", "/dev/quarnex-no-such-port");
    ASSERT_EQ(main.boxes().Texts(), std::vector<QString>{"Unable to open the port!"});
    main.Type(IDC_OUTPUT_PORT, output.Path());
    main.Click(IDC_START);
    EXPECT_EQ(main.boxes().Seen().size(), 1u);
    ExpectActiveLook(main);
    input.Write(kTwoSentences);
    EXPECT_EQ(output.ReadBytes(kGga.size() + kRmc.size(), 10s), kGga + kRmc);
}

// The baud field is read like wcstol: blanks, a sign and trailing text are allowed.
TEST(Monitoring, BaudTextIsReadUpToTheFirstNonDigit)
{
    const struct {
        const char* text;
        unsigned long baud;
    } rows[] = {{" 9600", 9600}, {"+19200 baud", 19200}, {" 4800x", 4800}, {"4800", 4800}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.text);
        PtyPair input, output;
        MonitorDialog main;
        StartWith(main, input.Path(), row.text, output.Path());
        EXPECT_TRUE(main.boxes().Seen().empty());
        EXPECT_EQ(FarEndBaud(input), row.baud);
        EXPECT_EQ(FarEndBaud(output), row.baud);
    }
}

// A port field is read as its first 63 characters: a name of exactly that length works even
// when more was typed behind it.
TEST(Monitoring, PortNamesAreReadAsTheirFirst63Characters)
{
    PtyPair input, output;
    const ScratchDirectory folder("quarnex-ui");
    std::string link = folder.Path().string() + "/";
    link += std::string(63 - link.size(), 'p');
    ASSERT_EQ(symlink(input.Path().c_str(), link.c_str()), 0);
    MonitorDialog main;
    StartWith(main, link + "-and-more", "4800", output.Path());
    EXPECT_TRUE(main.boxes().Seen().empty());
    EXPECT_TRUE(RunIsHeld());
    main.Click(IDC_STOP);
}

// Start during a run is ignored: no message, and the running relay keeps its ports, its
// selection and its thread.
TEST(Monitoring, StartDuringARunChangesNothingOfIt)
{
    PtyPair input, output;
    MonitorDialog main;
    StartWith(main, input.Path(), "4800", output.Path());
    const int inputPort = relayState.inputPort;
    const int outputPort = relayState.outputPort;
    const int ended = RelayEndedDescriptor();
    main.Click(IDC_START);
    EXPECT_TRUE(main.boxes().Seen().empty());
    EXPECT_EQ(relayState.inputPort, inputPort);
    EXPECT_EQ(relayState.outputPort, outputPort);
    EXPECT_EQ(RelayEndedDescriptor(), ended);
    ExpectActiveLook(main);
    input.Write(kTwoSentences);
    EXPECT_EQ(output.ReadBytes(kGga.size() + kRmc.size(), 10s), kGga + kRmc);
}

// The relay thread's box: shown by the GUI thread without blocking the dialog, holding the
// relay until OK. Stop and then exit, pressed while it is up, wait for it (neither hang nor
// crash) and the box stays until the user answers it.
TEST(Monitoring, StopAndExitWhileTheRelaysWriteErrorBoxIsUp)
{
    PtyPair input, output;
    MonitorDialog main;
    main.boxes().SetPolicy(BoxWatcher::kHoldBoxes);
    StartWith(main, input.Path(), "4800", output.Path());
    output.CloseMaster();  // the reading program went away
    input.Write(kTwoSentences);
    ASSERT_TRUE(RunEventsUntil([&] { return main.boxes().OpenBoxes() == 1; }));
    const SeenBox box = main.boxes().Seen().at(0);
    EXPECT_EQ(box.caption, "Quarnex");
    EXPECT_EQ(box.text, "Write error");
    EXPECT_TRUE(box.okButtonOnly);
    EXPECT_FALSE(box.blocksOtherWindows);
    EXPECT_FALSE(Readable(RelayEndedDescriptor())) << "the relay waits for the answer";
    ExpectActiveLook(main);

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
    StartWith(main, "COM1:", "4800", output.Path());
    receiver->CloseMaster();
    ASSERT_TRUE(RunEventsUntilReadable(RelayEndedDescriptor()));
    EXPECT_EQ(main.boxes().Texts(), std::vector<QString>{"Read error"});
    ExpectActiveLook(main);
    main.Click(IDC_STOP);
    EXPECT_TRUE(main.LooksIdle());
    EXPECT_FALSE(RunIsHeld());

    receiver = std::make_unique<PtyPair>();
    ports.Link("COM1", receiver->Path());
    main.Click(IDC_START);
    EXPECT_EQ(main.boxes().Seen().size(), 1u);
    ExpectActiveLook(main);
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
